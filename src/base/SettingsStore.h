#pragma once

#include <QString>

// The per-user settings store: company "Morvo", application "Tessarin". The registry key on
// Windows, ~/.config/Morvo/Tessarin.conf here. Tests redirect it with QSettings::setPath.
// A missing key yields the caller's default; reading never fails. A write that cannot be kept
// (a full disk, a store that may not be written) returns false, leaves the stored file as it was
// and tells the operator once.
namespace SettingsStore {

inline constexpr char kCompany[] = "Morvo";
inline constexpr char kApplication[] = "Tessarin";

int readInt(const QString& section, const QString& key, int defaultValue);
// A switch: 1/0, true/false, yes/no, on/off in any case (what QSettings and people write), or any
// other whole number (not 0 is on); anything else yields the default. Written as 1 or 0.
bool readBool(const QString& section, const QString& key, bool defaultValue);
bool writeInt(const QString& section, const QString& key, int value);
QString readString(const QString& section, const QString& key, const QString& defaultValue = {});
bool writeString(const QString& section, const QString& key, const QString& value);
// The folder the store's file lives in (where small state files of the program go too).
QString folder();

} // namespace SettingsStore
