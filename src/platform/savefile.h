#pragma once

#include <QSaveFile>

// Ends a whole-file write: the new file replaces the old one only when every byte was written and reached
// the disk; otherwise the old file stays as it was.
[[nodiscard]] inline bool finishSave(QSaveFile& file, bool written)
{
    // A text small enough to sit in the write buffer meets a full disk only at the flush; commit() misses it.
    if (!written || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
