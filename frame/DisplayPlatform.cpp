#include "DisplayPlatform.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QPluginLoader>
#include <dlfcn.h>

namespace {
// The platforms QT_QPA_PLATFORM lists ("wayland;xcb", "xcb:option=value"),
// or the ones Qt starts by default.
QStringList candidatesOf(const QProcessEnvironment &environment)
{
    const QString chosen = environment.value(QStringLiteral("QT_QPA_PLATFORM")).trimmed();
    if (!chosen.isEmpty())
        return chosen.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    QStringList candidates;
    const QString session = environment.value(QStringLiteral("XDG_SESSION_TYPE")).toLower();
    const QString desktop = (environment.value(QStringLiteral("XDG_CURRENT_DESKTOP")) + QLatin1Char(' ')
                             + environment.value(QStringLiteral("XDG_SESSION_DESKTOP"))).toLower();
    // Qt keeps to X11 on GNOME unless told otherwise.
    if (session == QLatin1String("wayland") && !desktop.contains(QLatin1String("gnome")))
        candidates << QStringLiteral("wayland");
    candidates << QStringLiteral("xcb");
    return candidates;
}

QString nameOf(const QString &candidate)
{
    return candidate.section(QLatin1Char(':'), 0, 0).trimmed();
}

QStringList pluginFolders(const QProcessEnvironment &environment)
{
    QStringList folders;
    const QString platformPath = environment.value(QStringLiteral("QT_QPA_PLATFORM_PLUGIN_PATH"));
    if (!platformPath.isEmpty())
        folders << platformPath;
    const QStringList pluginPaths =
        environment.value(QStringLiteral("QT_PLUGIN_PATH")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &path : pluginPaths)
        folders << path + QStringLiteral("/platforms");
    folders << QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms");
    return folders;
}

QString waylandSocket(const QProcessEnvironment &environment)
{
    QString name = environment.value(QStringLiteral("WAYLAND_DISPLAY"));
    if (name.isEmpty())
        name = QStringLiteral("wayland-0");
    if (QDir::isAbsolutePath(name))
        return name;
    const QString runtime = environment.value(QStringLiteral("XDG_RUNTIME_DIR"));
    return runtime.isEmpty() ? QString() : runtime + QLatin1Char('/') + name;
}

// Empty when the platform can show windows here, otherwise why not.
QString problemWith(const QString &name, const QStringList &installed, const QProcessEnvironment &environment)
{
    if (!installed.contains(name, Qt::CaseInsensitive))
        return QStringLiteral("the Qt platform plugin \"%1\" is not installed").arg(name);
    if (isDisplaylessPlatform(name))
        return {};
    if (name.compare(QLatin1String("xcb"), Qt::CaseInsensitive) == 0) {
        const QString display = environment.value(QStringLiteral("DISPLAY"));
        if (display.isEmpty())
            return QStringLiteral("no X display (DISPLAY is not set)");
        if (!xDisplayAnswers(display))
            return QStringLiteral("the X display %1 does not answer").arg(display);
        return {};
    }
    if (name.startsWith(QLatin1String("wayland"), Qt::CaseInsensitive)) {
        const QString socket = waylandSocket(environment);
        if (socket.isEmpty() || !QFileInfo::exists(socket))
            return environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty()
                ? QStringLiteral("no Wayland display (WAYLAND_DISPLAY is not set)")
                : QStringLiteral("the Wayland display %1 does not exist").arg(socket);
        return {};
    }
    // Framebuffer and EGL platforms draw on the machine's own screen.
    return {};
}
} // namespace

bool isDisplaylessPlatform(const QString &name)
{
    static const QStringList displayless = {QStringLiteral("offscreen"), QStringLiteral("minimal"),
                                            QStringLiteral("minimalegl"), QStringLiteral("vnc")};
    return displayless.contains(name, Qt::CaseInsensitive);
}

QStringList installedPlatformPlugins(const QProcessEnvironment &environment)
{
    QStringList names;
    for (const QString &folder : pluginFolders(environment)) {
        const QFileInfoList files = QDir(folder).entryInfoList({QStringLiteral("*.so")}, QDir::Files);
        for (const QFileInfo &file : files) {
            // The plugin's keys are read from its metadata without loading it.
            const QJsonObject meta = QPluginLoader(file.absoluteFilePath()).metaData();
            const QJsonArray keys = meta.value(QStringLiteral("MetaData")).toObject().value(QStringLiteral("Keys")).toArray();
            for (const QJsonValue &key : keys)
                if (!names.contains(key.toString(), Qt::CaseInsensitive))
                    names << key.toString().toLower();
        }
    }
    return names;
}

bool xDisplayAnswers(const QString &display)
{
    // libxcb is the X library of Qt's X11 platform; without it that platform
    // cannot start either.
    void *xcb = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
    if (!xcb)
        return false;
    using Connect = void *(*)(const char *, int *);
    using HasError = int (*)(void *);
    using Disconnect = void (*)(void *);
    auto connect = reinterpret_cast<Connect>(dlsym(xcb, "xcb_connect"));
    auto hasError = reinterpret_cast<HasError>(dlsym(xcb, "xcb_connection_has_error"));
    auto disconnect = reinterpret_cast<Disconnect>(dlsym(xcb, "xcb_disconnect"));
    if (!connect || !hasError || !disconnect) {
        dlclose(xcb);
        return false;
    }
    const QByteArray name = display.toLocal8Bit();
    void *connection = connect(name.constData(), nullptr);
    const bool answers = connection && hasError(connection) == 0;
    if (!answers) {
        if (connection)
            disconnect(connection);
        dlclose(xcb);
        return false;
    }
    // An X server with no other client resets when its last client leaves,
    // and refuses connections while it does: the window platform would find
    // it resetting. The connection that answered stays open until the
    // program ends (the one held before is closed).
    static void *held = nullptr;
    static Disconnect heldDisconnect = nullptr;
    if (held)
        heldDisconnect(held);
    held = connection;
    heldDisconnect = disconnect;
    return true;
}

WindowPlatform chooseWindowPlatform(const QProcessEnvironment &environment)
{
    const QStringList installed = installedPlatformPlugins(environment);
    QStringList problems;
    for (const QString &candidate : candidatesOf(environment)) {
        const QString problem = problemWith(nameOf(candidate), installed, environment);
        if (problem.isEmpty())
            return {candidate.trimmed(), {}};
        problems << problem;
    }
    return {{}, problems.join(QStringLiteral("; "))};
}
