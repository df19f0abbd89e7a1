#pragma once

#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

// A CUPS scheduler of a test's own: own configuration, spool, log and
// socket in a folder of the test, with one printer that prints to a file.
// The program and the CUPS tools are pointed at it (CUPS_SERVER,
// CUPS_SERVERROOT, and HOME for this user's lpoptions file).
class PrivateCups {
public:
    struct ToolResult {
        int exitCode = -1;
        QString output;
    };

    ~PrivateCups();

    // Finds a CUPS program in the usual places, also in sbin.
    static QString findTool(const QString &name);
    // Runs a CUPS command-line tool under LC_ALL=C, so that its output reads
    // the same under any locale.
    static ToolResult runTool(const QString &tool, const QStringList &arguments);

    // Starts the scheduler in the folder and adds the printer (raw, to a
    // file). Empty when it runs, else why not.
    QString start(const QString &root, const QString &printer);
    void stop();
    QString log() const;

    QString printer() const { return m_printer; }
    QString homeFolder() const { return m_root + QStringLiteral("/home"); }
    QString optionsFile() const { return homeFolder() + QStringLiteral("/.cups/lpoptions"); }

    // The attributes of a job, each as CUPS writes it as text; empty when the
    // job is unknown.
    QMap<QString, QString> jobAttributes(int jobId) const;
    // The ids of the jobs not yet printed, oldest first.
    QList<int> pendingJobs() const;
    // The document the program sent with a job, as spooled.
    QString spooledFile(int jobId) const;

private:
    QString m_root;
    QString m_printer;
    QProcess m_cupsd;
};
