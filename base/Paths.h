#pragma once

#include <QString>

// Special folder ids understood by GetSpecialFolder.
inline constexpr int kSpecialFolderDesktop = 0;
inline constexpr int kSpecialFolderCommonAppData = 35;

// Location of a special folder without a trailing separator, or empty text
// when the platform has none for the id.
QString GetSpecialFolder(int folderId);

// True when the path exists and its last-modified time can be read.
bool FileExists(const QString &path);

// Collapses doubled separators; a path that starts with a separator (a network
// path) keeps exactly two leading separators.
QString NormalizePath(const QString &path, QChar separator = QLatin1Char('/'));

// The folder of the executable; tests may point it elsewhere.
QString programFolder();
void setProgramFolderOverride(const QString &folder);
QString quillmarkFolder();   // <common app data>/Quillmark
QString dataFolder();        // <common app data>/Quillmark/Corvanta
QString liveDatabasePath();  // <data folder>/dbData.sqlite

inline constexpr const char *kLiveDatabaseName = "dbData.sqlite";
inline constexpr const char *kSampleDatabaseName = "Contacts.sqlite";
inline constexpr const char *kBlankDatabaseName = "dbBlank.sqlite";
