#include "SyncCommand.h"

#include "CommandLine.h"

#include "store/Connection.h"
#include "store/Database.h"
#include "sync/DavClient.h"
#include "sync/Discovery.h"
#include "sync/PasswordStore.h"
#include "sync/SyncAccount.h"
#include "sync/SyncEngine.h"
#include "sync/TransportSecurity.h"

#include <QTextStream>

#include <termios.h>
#include <unistd.h>

namespace {

// Reads the password typed at the terminal without showing it (only the
// closing newline is echoed); from a pipe it reads a plain line.
QString readPasswordLine(QTextStream &in)
{
    termios shown{};
    const bool terminal = ::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &shown) == 0;
    if (terminal) {
        termios hidden = shown;
        hidden.c_lflag &= ~tcflag_t(ECHO);
        hidden.c_lflag |= ECHONL;
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
    }
    const QString line = in.readLine();
    if (terminal)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &shown);
    return line;
}

int usage(const CommandLineStreams &io, const QString &problem)
{
    *io.err << "corvanta: " << problem << Qt::endl << Qt::endl << "Usage:\n" << syncCommandHelp() << Qt::flush;
    return 2;
}

struct SyncArguments {
    QString setupUrl;
    QString user;
    QString addressBook;
    QString passwordFile;
    QString acceptCertificate;   // "AB:CD:..." as normalized
    bool allowInsecureHttp = false;
    bool setup = false;
    bool allowMassDelete = false;
};

// What the user decided on the command line is stored with the account.
void applySecurityChoices(const SyncArguments &args, SyncAccount &account)
{
    if (!args.acceptCertificate.isEmpty())
        account.trustedCertificateSha256 = args.acceptCertificate;
    if (args.allowInsecureHttp)
        account.allowInsecureHttp = true;
}

// Fills `parsed`; an empty text when the arguments are sound, else the problem.
QString parse(const QStringList &args, SyncArguments &parsed)
{
    for (int i = 1; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        auto next = [&](QString &into) {
            if (i + 1 >= args.size() || args.at(i + 1).startsWith(QLatin1String("--")))
                return false;
            into = args.at(++i);
            return true;
        };
        if (arg == QLatin1String("--setup")) {
            parsed.setup = true;
            if (!next(parsed.setupUrl))
                return QStringLiteral("--setup needs the server's URL.");
        } else if (arg == QLatin1String("--user")) {
            if (!next(parsed.user))
                return QStringLiteral("--user needs a user name.");
        } else if (arg == QLatin1String("--addressbook")) {
            if (!next(parsed.addressBook))
                return QStringLiteral("--addressbook needs a name or a path.");
        } else if (arg == QLatin1String("--password-file")) {
            if (!next(parsed.passwordFile))
                return QStringLiteral("--password-file needs a FILE.");
        } else if (arg == QLatin1String("--accept-certificate")) {
            QString typed;
            const std::optional<QString> fingerprint = next(typed) ? normalizedFingerprint(typed) : std::nullopt;
            if (!fingerprint)
                return QStringLiteral("--accept-certificate needs the certificate's SHA-256 fingerprint "
                                      "(64 hexadecimal digits, with or without colons).");
            parsed.acceptCertificate = *fingerprint;
        } else if (arg == QLatin1String("--allow-insecure-http")) {
            parsed.allowInsecureHttp = true;
        } else if (arg == QLatin1String("--password") || arg.startsWith(QLatin1String("--password="))) {
            return QStringLiteral("a password is never given on the command line (every user of the machine can "
                                  "read it there): use --password-file FILE.");
        } else if (arg == QLatin1String("--allow-mass-delete")) {
            parsed.allowMassDelete = true;
        } else {
            return QStringLiteral("unknown argument %1 for sync.").arg(arg);
        }
    }
    if (parsed.setup && parsed.user.isEmpty())
        return QStringLiteral("sync --setup needs --user NAME.");
    if (!parsed.setup && (!parsed.user.isEmpty() || !parsed.addressBook.isEmpty()))
        return QStringLiteral("--user and --addressbook belong to sync --setup.");
    if (parsed.setup && parsed.allowMassDelete)
        return QStringLiteral("--allow-mass-delete belongs to a sync, not to --setup.");
    return {};
}

int runSetup(const SyncArguments &args, const CommandLineStreams &io)
{
    SyncAccount account;
    Result<std::optional<SyncAccount>> loaded = loadSyncAccount();
    const bool previous = loaded && loaded->has_value();
    const QString previousServer = previous ? (*loaded)->serverUrl.toString() : QString();
    if (previous)
        account = **loaded; // keeps trusted certificates and the interval
    account.serverUrl = QUrl::fromUserInput(args.setupUrl);
    if (!args.setupUrl.contains(QLatin1String("://")))
        account.serverUrl = QUrl(args.setupUrl);
    account.serverUrl.setUserInfo(QString()); // a password typed into the URL is never kept
    if (!previous || normalizedServerUrl(account.serverUrl.toString()).host() != normalizedServerUrl(previousServer).host()) {
        // Decisions about another server do not carry over.
        account.trustedCertificateSha256.clear();
        account.allowInsecureHttp = false;
    }
    account.userName = args.user;
    account.addressBookPath.clear();
    applySecurityChoices(args, account);
    Result<QString> password = args.passwordFile.isEmpty() && io.interactive
                                   ? Result<QString>([&] {
                                         *io.err << "Password for " << args.user << ": " << Qt::flush;
                                         return readPasswordLine(*io.in);
                                     }())
                                   : PasswordStore::readPasswordFile(args.passwordFile);
    if (args.passwordFile.isEmpty() && !io.interactive)
        return usage(io, QStringLiteral("sync --setup needs --password-file FILE when there is no terminal to ask on."));
    if (!password) {
        *io.err << "corvanta: " << password.error().description << Qt::endl;
        return 1;
    }
    carddav::DavClient client(account, *password);
    Result<QList<carddav::AddressBook>> books = carddav::discoverAddressBooks(client);
    if (!books) {
        *io.err << "corvanta: the account was not set up: " << books.error().description << Qt::endl;
        return 1;
    }
    Result<carddav::AddressBook> chosen = carddav::chooseAddressBook(*books, args.addressBook);
    if (!chosen) {
        *io.err << "corvanta: the account was not set up: " << chosen.error().description << Qt::endl;
        return 1;
    }
    account.addressBookPath = chosen->path;
    if (Status saved = saveSyncAccount(account); !saved) {
        *io.err << "corvanta: " << saved.error().description << Qt::endl;
        return 1;
    }
    Result<PasswordStore::Kept> kept = PasswordStore::save(account, *password);
    *io.out << "Sync is set up with " << chosen->path
            << (chosen->displayName.isEmpty() ? QString() : QStringLiteral(" (") + chosen->displayName + QLatin1Char(')'))
            << " for " << account.userName << "." << Qt::endl;
    if (!kept || *kept == PasswordStore::Kept::ForThisSessionOnly)
        *io.out << "There is no secret store for the password: give --password-file FILE on every sync." << Qt::endl;
    return 0;
}

int runOneSync(const SyncArguments &args, const CommandLineStreams &io, const std::function<bool()> &prepareData)
{
    Result<std::optional<SyncAccount>> account = loadSyncAccount();
    if (!account) {
        *io.err << "corvanta: " << account.error().description << Qt::endl;
        return 1;
    }
    if (!account->has_value()) {
        *io.err << "corvanta: no sync account is set up; run corvanta sync --setup URL --user NAME first." << Qt::endl;
        return 1;
    }
    if (!args.acceptCertificate.isEmpty() || args.allowInsecureHttp) {
        applySecurityChoices(args, **account);
        if (Status saved = saveSyncAccount(**account); !saved) {
            *io.err << "corvanta: nothing was synced: " << saved.error().description << Qt::endl;
            return 1;
        }
    }
    Result<QString> password = PasswordStore::passwordForSync(**account, args.passwordFile);
    if (!password) {
        *io.err << "corvanta: nothing was synced: " << password.error().description << Qt::endl;
        return 1;
    }
    if (!prepareData())
        return 1;
    Result<std::unique_ptr<Connection>> connection = openLiveDatabase();
    if (!connection) {
        *io.err << "corvanta: nothing was synced: " << connection.error().description << Qt::endl;
        return 1;
    }
    carddav::DavClient client(**account, *password);
    carddav::SyncOptions options;
    options.allowMassDelete = args.allowMassDelete;
    const carddav::SyncOutcome outcome = carddav::runSync(**connection, client, options);
    *io.out << outcome.summary.text() << Qt::endl;
    for (const QString &remark : outcome.summary.remarks)
        *io.out << remark << Qt::endl;
    if (outcome.ok)
        return 0;
    if (outcome.stoppedByGuard)
        *io.err << "corvanta: " << outcome.message << " (--allow-mass-delete)" << Qt::endl;
    else
        *io.err << "corvanta: the sync stopped: " << outcome.message
                << " What is counted above was done and kept; the rest is done by the next sync." << Qt::endl;
    return 1;
}

} // namespace

QString syncCommandHelp()
{
    return QStringLiteral(
        "  corvanta sync --setup URL --user NAME [--addressbook NAME-OR-PATH] [--password-file FILE]\n"
        "                                            set up two-way sync with a CardDAV server\n"
        "                                            (the password file's first line is the\n"
        "                                            password)\n"
        "  corvanta sync [--password-file FILE] [--allow-mass-delete]\n"
        "                                            sync the contacts with the server once\n"
        "    (both) --accept-certificate FINGERPRINT trust exactly the server certificate with\n"
        "                                            this SHA-256 fingerprint (kept with the account)\n"
        "    (both) --allow-insecure-http            allow plain HTTP to a server that is not\n"
        "                                            this machine (password and contacts unencrypted)\n");
}

int runSyncCommand(const QStringList &arguments, const CommandLineStreams &io, const std::function<bool()> &prepareData)
{
    SyncArguments args;
    if (const QString problem = parse(arguments, args); !problem.isEmpty())
        return usage(io, problem);
    return args.setup ? runSetup(args, io) : runOneSync(args, io, prepareData);
}
