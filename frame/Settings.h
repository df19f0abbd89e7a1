#pragma once

#include <QString>

// The per-user settings store: organisation "Quillmark", application
// "Corvanta", every key in the group "Corvanta". Reading a missing key gives
// the default; no key is ever deleted.
QString GetSetting(const QString &key, const QString &defaultValue = QString());
// False when the settings file could not be written (a file or folder
// without write permission): the value is lost when the program ends.
bool SaveSetting(const QString &key, const QString &value);
// The settings file, as the user would look for it.
QString settingsFilePath();

inline constexpr int kLabelCount = 28;
QString labelSettingKey(int index); // "Label 0" ... "Label 27"

inline constexpr const char *kSettingPath = "Path";
inline constexpr const char *kSettingOption1 = "Option1";
inline constexpr const char *kSettingOption2 = "Option2";
inline constexpr const char *kSettingLastFolderDot = "LastFolderDot";

// Reads a stored Boolean the way the program always has: "True"/"False" as
// written, numbers by their value ("1" true, "0" false).
bool settingAsBool(const QString &value);
