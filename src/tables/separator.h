#pragma once

#include <QString>

// The decimal separator rule of table files, the clipboard and the background file: the first "." (or ",")
// becomes "," (or ".") unless it stands first, so the dotted placeholders of missing values pass unchanged.
// Changes s in place and returns it.
QString setSeperator(QString& s, bool useComma);
