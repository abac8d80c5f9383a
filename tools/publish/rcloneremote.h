#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

// A folder on any storage that rclone reaches, named as rclone names it:
// "name:path" for a remote of the publisher's own rclone configuration, or a
// connection string such as ":webdav,url=https://dav.example/:path". Every
// operation runs one rclone process with the publisher's configuration and
// environment (RCLONE_* variables apply), and throws std::runtime_error with
// rclone's own last words when it fails.
class TRcloneRemote
{
public:
    explicit TRcloneRemote(QString sRemote);

    // True when rclone reads the argument as a remote rather than a local path:
    // it starts with ':' (a connection string) or with a name and ':' before any
    // '/'. A local path with a colon is written "./name:x".
    static bool namesRemote(const QString& sArgument);

    const QString& name() const { return m_sRemote; }
    // sRelative inside the remote folder, in rclone's notation.
    QString path(const QString& sRelative) const;

    // Every file below sRelative ("" for the whole folder), by path relative to
    // the folder, with its size. A folder that does not exist holds nothing.
    QMap<QString, quint64> listFiles(const QString& sRelative = QString()) const;
    // The file's bytes; nothing when it does not exist.
    std::optional<QByteArray> read(const QString& sRelative) const;

    // Copies the files (paths relative to both folders) from sLocalFolder, nJobs
    // at a time, without asking the remote first: the caller chose them.
    void copyFiles(const QString& sLocalFolder, const QStringList& lRelative, int nJobs) const;
    // One file, to its place; replaces what stands there.
    void copyFile(const QString& sLocalPath, const QString& sRelative) const;
    void deleteFiles(const QStringList& lRelative) const;
    // Removes the empty folders below sRelative, which itself stays.
    void removeEmptyFolders(const QString& sRelative) const;

private:
    struct TResult
    {
        int nExitCode = -1;
        QByteArray aOut;
        QString sLastError;
    };
    TResult run(const QStringList& lArguments) const;
    [[noreturn]] void fail(const QString& sWhat, const TResult& oResult) const;
    // Writes the paths one a line to a temporary file for --files-from-raw and runs rclone with it.
    TResult runWithList(const QStringList& lRelative, const QStringList& lArguments) const;

    QString m_sRemote;
};
