#pragma once

#include <QByteArray>
#include <QString>

// Every value the program keeps in the per-user settings store, declared once: section, key, kind of
// value and default. Code reads and writes through these entries, never with a key text of its own.
namespace SettingKeys {

enum class Kind { Text, Flag, Int16, Int32, Number };

struct Key {
    const char* section;
    const char* key;
    Kind kind;
    // Default as stored text; when envDefault names a variable, its value is the default instead.
    const char* def;
    const char* envDefault = nullptr;
};

// Main window placement, outer size in twips.
inline constexpr Key MainTop{"pos", "y", Kind::Number, "0"};
inline constexpr Key MainLeft{"pos", "x", Kind::Number, "0"};
inline constexpr Key MainWidth{"pos", "width", Kind::Number, "6135"};
inline constexpr Key HeightWithTable{"pos", "height", Kind::Int32, "7000"};
// Options dialog placement in twips.
inline constexpr Key OptionsTop{"pos", "yO", Kind::Number, "0"};
inline constexpr Key OptionsLeft{"pos", "xO", Kind::Number, "0"};

inline constexpr Key AngleUnit{"angles", "unit", Kind::Int16, "0"};

// "True"/"False" when written; the other flags are written as check states "0"/"1".
inline constexpr Key ModeTobar{"options", "display", Kind::Flag, "False"};
inline constexpr Key OnTop{"options", "onTop", Kind::Flag, "0"};
inline constexpr Key ShowTable{"options", "showTable", Kind::Flag, "0"};
inline constexpr Key UseComma{"options", "comma", Kind::Flag, "0"};
inline constexpr Key DataPath{"options", "datapath", Kind::Text, ""};
inline constexpr Key StoreAtExitKey{"options", "exitKey", Kind::Flag, "0"};
inline constexpr Key StoreAtIR{"options", "IR", Kind::Flag, "0"};
inline constexpr Key UpdatePath{"options", "updatePath", Kind::Text, "", "TEMP"};
inline constexpr Key UseBackground{"options", "enableBackground", Kind::Flag, "0"};
inline constexpr Key UseMean{"options", "enableMean", Kind::Flag, "0"};
inline constexpr Key BackgroundSeconds{"options", "updateSeconds", Kind::Number, "1"};

inline constexpr Key PortNumber{"com", "port", Kind::Int16, "1"};
inline constexpr Key PortMode{"com", "mode", Kind::Int16, "0"};
inline constexpr Key IsHR{"com", "isHR", Kind::Int16, "0"};
// The device a port number is bound to: the key is followed by the port number ("device1" for port 1).
inline constexpr Key BoundDevice{"com", "device", Kind::Text, ""};
// A lost link reopens its port when the device is back; a check state.
inline constexpr Key Reconnect{"com", "reconnect", Kind::Flag, "1"};

// Analysis window: placement in twips (left and top -1 until first placed: beside the main window), the
// page in front and whether the window was open.
inline constexpr Key AnalysisLeft{"analysis", "x", Kind::Number, "-1"};
inline constexpr Key AnalysisTop{"analysis", "y", Kind::Number, "-1"};
inline constexpr Key AnalysisWidth{"analysis", "width", Kind::Number, "12000"};
inline constexpr Key AnalysisHeight{"analysis", "height", Kind::Number, "9000"};
inline constexpr Key AnalysisPage{"analysis", "page", Kind::Int16, "0"};
inline constexpr Key AnalysisOpen{"analysis", "open", Kind::Flag, "0"};
// The straightness page's inputs: axis 1 X, 2 Y; base length in mm; readings taken walking back.
inline constexpr Key StraightnessAxis{"analysis", "straightnessAxis", Kind::Int16, "1"};
inline constexpr Key StraightnessBase{"analysis", "baseLength", Kind::Number, "100"};
inline constexpr Key StraightnessReverse{"analysis", "reverse", Kind::Flag, "0"};
// The size of the trend page's PNG image in pixels.
inline constexpr Key PngWidth{"analysis", "pngWidth", Kind::Int16, "1600"};
inline constexpr Key PngHeight{"analysis", "pngHeight", Kind::Int16, "900"};
// The journal keeps the sessions of so many days and no more than so many megabytes. Set by hand only: the
// journal reads them at its start, and the main window neither reads nor writes them back.
inline constexpr Key JournalDays{"journal", "keepDays", Kind::Int32, "7"};
inline constexpr Key JournalMegabytes{"journal", "maxMegabytes", Kind::Int32, "2048"};
// The last straightness job's fields as JSON, the defaults of the next; the run page reads and writes it.
inline constexpr Key LastJob{"run", "lastJob", Kind::Text, ""};
// The Flatness page's inputs: kind 1 Union Jack, 2 grid; base lengths in mm (the second one the diagonals'
// or the columns'); the instrument's and the base length's standard uncertainty; the last folder.
inline constexpr Key PlateKind{"plate", "kind", Kind::Int16, "1"};
inline constexpr Key PlateBase{"plate", "base", Kind::Number, "100"};
inline constexpr Key PlateSecondBase{"plate", "secondBase", Kind::Number, "0"};
inline constexpr Key PlateUncertaintyA{"plate", "uA", Kind::Number, "0.1"};
inline constexpr Key PlateUncertaintyB{"plate", "uB", Kind::Number, "0"};
inline constexpr Key PlateBaseUncertainty{"plate", "uBase", Kind::Number, "0.01"};
inline constexpr Key PlateFolder{"plate", "folder", Kind::Text, ""};
// The certificate's plate and instrument: the plate's size in mm (0: the measured rectangle's) and the
// temperature in degrees Celsius (empty: not stated).
inline constexpr Key PlateInstrumentType{"plate", "instrumentType", Kind::Text, ""};
inline constexpr Key PlateInstrumentSerial{"plate", "instrumentSerial", Kind::Text, ""};
inline constexpr Key PlateDescription{"plate", "description", Kind::Text, ""};
inline constexpr Key PlateLength{"plate", "plateLength", Kind::Number, "0"};
inline constexpr Key PlateWidth{"plate", "plateWidth", Kind::Number, "0"};
inline constexpr Key PlateTemperature{"plate", "temperature", Kind::Text, ""};

// Publishing to an MQTT broker, read by the publisher and written by its window only: off until switched on;
// the password is kept with the other settings. An empty client id lets the library choose one; an empty
// prefix stands for tarnolux/<host name>; a rate of 0 publishes every measurement, N at most N a second.
inline constexpr Key MqttEnabled{"mqtt", "enabled", Kind::Flag, "0"};
inline constexpr Key MqttHost{"mqtt", "host", Kind::Text, "localhost"};
inline constexpr Key MqttPort{"mqtt", "port", Kind::Int32, "1883"};
inline constexpr Key MqttTls{"mqtt", "tls", Kind::Flag, "0"};
inline constexpr Key MqttCaFile{"mqtt", "caFile", Kind::Text, ""};
inline constexpr Key MqttUser{"mqtt", "user", Kind::Text, ""};
inline constexpr Key MqttPassword{"mqtt", "password", Kind::Text, ""};
inline constexpr Key MqttClientId{"mqtt", "clientId", Kind::Text, ""};
inline constexpr Key MqttPrefix{"mqtt", "prefix", Kind::Text, ""};
inline constexpr Key MqttRate{"mqtt", "rate", Kind::Int32, "0"};

// In the order start-up reads them.
inline constexpr Key All[] = {
    ModeTobar,      MainTop,       MainLeft,     AngleUnit,         HeightWithTable,  MainWidth,
    OnTop,          ShowTable,     UseComma,     DataPath,          StoreAtExitKey,   StoreAtIR,
    UpdatePath,     UseBackground, UseMean,      BackgroundSeconds, OptionsTop,       OptionsLeft,
    PortNumber,     PortMode,      IsHR,         AnalysisLeft,      AnalysisTop,      AnalysisWidth,
    AnalysisHeight, AnalysisPage,  AnalysisOpen, StraightnessAxis,  StraightnessBase, StraightnessReverse,
    PngWidth,       PngHeight,     Reconnect,
};

[[nodiscard]] inline bool operator==(const Key& a, const Key& b)
{
    return qstrcmp(a.section, b.section) == 0 && qstrcmp(a.key, b.key) == 0;
}

// "section/key", the address of the value in the store.
[[nodiscard]] inline QString path(const Key& key)
{
    return QLatin1String(key.section) + QLatin1Char('/') + QLatin1String(key.key);
}
// The address of port n's entry of a per-port key such as BoundDevice.
[[nodiscard]] inline QString path(const Key& key, int portNumber)
{
    return path(key) + QString::number(portNumber);
}

} // namespace SettingKeys
