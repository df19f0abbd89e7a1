#include "PrinterOptionsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The words of a line: [begin, end) of each, quotes and backslashes kept
// inside their word as the print system reads them.
std::vector<std::pair<qsizetype, qsizetype>> words(const QByteArray &line)
{
    std::vector<std::pair<qsizetype, qsizetype>> found;
    qsizetype i = 0;
    while (i < line.size()) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        if (i >= line.size())
            break;
        const qsizetype begin = i;
        char quote = 0;
        while (i < line.size() && (quote || !isBlank(line[i]))) {
            const char c = line[i];
            if (c == '\\' && i + 1 < line.size()) {
                i += 2;
                continue;
            }
            if (quote && c == quote)
                quote = 0;
            else if (!quote && (c == '\'' || c == '"'))
                quote = c;
            ++i;
        }
        found.emplace_back(begin, i);
    }
    return found;
}

QByteArray optionName(const QByteArray &word)
{
    const qsizetype equals = word.indexOf('=');
    return equals < 0 ? word : word.left(equals);
}

} // namespace

QString PrinterOptionsFile::userFilePath()
{
    return QDir::homePath() + QStringLiteral("/.cups/lpoptions");
}

PrinterOptionsFile::PrinterOptionsFile(QString path) : m_path(std::move(path)) {}

bool PrinterOptionsFile::read()
{
    m_text.clear();
    m_exists = QFileInfo::exists(m_path);
    if (!m_exists)
        return true;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    m_text = file.readAll();
    return true;
}

PrinterOptionsFile::Span PrinterOptionsFile::find(const QByteArray &destination) const
{
    Span found;
    qsizetype begin = 0;
    while (begin < m_text.size()) {
        qsizetype end = m_text.indexOf('\n', begin);
        if (end < 0)
            end = m_text.size();
        const QByteArray line = m_text.mid(begin, end - begin);
        const auto w = words(line);
        if (w.size() >= 2) {
            const QByteArray kind = line.mid(w[0].first, w[0].second - w[0].first).toLower();
            const QByteArray name = line.mid(w[1].first, w[1].second - w[1].first);
            // The last line of a destination is the one that counts.
            if ((kind == "dest" || kind == "default") && name == destination)
                found = {begin, end};
        }
        begin = end + 1;
    }
    return found;
}

QByteArray PrinterOptionsFile::line(const QByteArray &destination) const
{
    const Span span = find(destination);
    return span.begin < 0 ? QByteArray() : m_text.mid(span.begin, span.end - span.begin);
}

void PrinterOptionsFile::setLine(const QByteArray &destination, const QByteArray &line)
{
    const Span span = find(destination);
    if (span.begin >= 0) {
        if (line.isEmpty()) {
            // The line and its line break go.
            const qsizetype end = span.end < m_text.size() ? span.end + 1 : span.end;
            m_text.remove(span.begin, end - span.begin);
        } else {
            m_text.replace(span.begin, span.end - span.begin, line);
        }
        return;
    }
    if (line.isEmpty())
        return;
    if (!m_text.isEmpty() && !m_text.endsWith('\n'))
        m_text += '\n';
    m_text += line + '\n';
}

bool PrinterOptionsFile::write(bool existedBefore) const
{
    if (!existedBefore && m_text.isEmpty())
        return !QFileInfo::exists(m_path) || QFile::remove(m_path);
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath()))
        return false;
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(m_text);
    return file.commit();
}

QByteArray PrinterOptionsFile::withOption(const QByteArray &line, const QByteArray &destination,
                                          const QByteArray &name, const QByteArray &value)
{
    QByteArray result = line.isEmpty() ? QByteArray("Dest ") + destination : line;
    // A line kept in the DOS way keeps its carriage return at the end.
    const bool carriageReturn = result.endsWith('\r');
    if (carriageReturn)
        result.chop(1);
    const auto w = words(result);
    for (size_t i = 2; i < w.size(); ++i) {
        const QByteArray word = result.mid(w[i].first, w[i].second - w[i].first);
        if (optionName(word) != name)
            continue;
        if (value.isEmpty()) {
            // The option goes with the blanks before it.
            qsizetype begin = w[i].first;
            while (begin > 0 && isBlank(result[begin - 1]))
                --begin;
            result.remove(begin, w[i].second - begin);
        } else {
            result.replace(w[i].first, w[i].second - w[i].first, name + '=' + value);
        }
        return carriageReturn ? result + '\r' : result;
    }
    if (!value.isEmpty())
        result += ' ' + name + '=' + value;
    return carriageReturn ? result + '\r' : result;
}

QByteArray PrinterOptionsFile::optionValue(const QByteArray &line, const QByteArray &name)
{
    const auto w = words(line);
    QByteArray value;
    for (size_t i = 2; i < w.size(); ++i) {
        const QByteArray word = line.mid(w[i].first, w[i].second - w[i].first);
        if (optionName(word) == name)
            value = word.mid(name.size() + 1);
    }
    return value;
}

int PrinterOptionsFile::optionCount(const QByteArray &line)
{
    return std::max(0, int(words(line).size()) - 2);
}

bool PrinterOptionsFile::hasDefaultLine() const
{
    for (const QByteArray &line : m_text.split('\n')) {
        const auto w = words(line);
        if (w.size() >= 2 && line.mid(w[0].first, w[0].second - w[0].first).toLower() == "default")
            return true;
    }
    return false;
}

QByteArray PrinterOptionsFile::asDefaultLine(const QByteArray &line)
{
    const auto w = words(line);
    if (w.empty() || line.mid(w[0].first, w[0].second - w[0].first).toLower() != "dest")
        return line;
    QByteArray result = line;
    result.replace(w[0].first, w[0].second - w[0].first, "Default");
    return result;
}
