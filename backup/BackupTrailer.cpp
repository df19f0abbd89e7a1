#include "BackupTrailer.h"

#include "BackupDates.h"

#include <QSet>
#include <QtEndian>

#include <algorithm>
#include <limits>
#include <cstring>
#include <vector>

namespace backup {

namespace {
const char kHex[] = "0123456789abcdef";

int hexValue(char16_t c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool readFingerprint(QByteArrayView line, quint32 *fingerprint)
{
    if (line.size() != 8)
        return false;
    quint32 value = 0;
    for (const char c : line) {
        const int digit = hexValue(char16_t(static_cast<unsigned char>(c)));
        if (digit < 0)
            return false;
        value = (value << 4) | quint32(digit);
    }
    *fingerprint = value;
    return true;
}

bool readNumber(QStringView text, qint64 *number)
{
    bool ok = false;
    *number = text.trimmed().toLongLong(&ok);
    return ok;
}

// "<section> <record> <field> " and the place where the text starts.
bool readTextHead(QByteArrayView line, ExactText *entry, qsizetype *textStart)
{
    qsizetype at = 0;
    qint64 numbers[3];
    for (qint64 &number : numbers) {
        const qsizetype blank = line.indexOf(' ', at);
        if (blank <= at)
            return false;
        bool ok = false;
        number = line.sliced(at, blank - at).toLongLong(&ok);
        if (!ok || number < 0)
            return false;
        at = blank + 1;
    }
    if (numbers[0] > 2 || numbers[1] > std::numeric_limits<qint32>::max() || numbers[2] > 10000)
        return false;
    entry->section = qint8(numbers[0]);
    entry->record = qint32(numbers[1]);
    entry->field = qint16(numbers[2]);
    *textStart = at;
    return true;
}

bool unescape(QByteArrayView escaped, QByteArray *text)
{
    text->clear();
    text->reserve(escaped.size());
    for (qsizetype i = 0; i < escaped.size(); ++i) {
        const char c = escaped[i];
        if (c != '\\') {
            text->append(c);
            continue;
        }
        if (++i >= escaped.size())
            return false;
        switch (escaped[i]) {
        case '\\':
            text->append('\\');
            break;
        case 'r':
            text->append('\r');
            break;
        case 'n':
            text->append('\n');
            break;
        case 't':
            text->append('\t');
            break;
        case 'x': {
            if (i + 2 >= escaped.size())
                return false;
            const int high = hexValue(char16_t(static_cast<unsigned char>(escaped[i + 1])));
            const int low = hexValue(char16_t(static_cast<unsigned char>(escaped[i + 2])));
            if (high < 0 || low < 0)
                return false;
            text->append(char(high * 16 + low));
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    return true;
}
} // namespace

quint32 lineFingerprint(QByteArrayView line)
{
    // Eight bytes at a time, mixed by multiplication: quick, and the same on
    // every machine.
    quint64 hash = 0x9E3779B97F4A7C15ull ^ quint64(line.size());
    const char *p = line.data();
    qsizetype n = line.size();
    while (n >= 8) {
        quint64 word;
        std::memcpy(&word, p, 8);
        hash = (hash ^ qFromLittleEndian(word)) * 0xFF51AFD7ED558CCDull;
        hash ^= hash >> 32;
        p += 8;
        n -= 8;
    }
    quint64 rest = 0;
    for (qsizetype i = 0; i < n; ++i)
        rest |= quint64(static_cast<unsigned char>(p[i])) << (8 * i);
    hash = (hash ^ rest) * 0xC4CEB9FE1A85EC53ull;
    hash ^= hash >> 29;
    return quint32(hash ^ (hash >> 32));
}

char *putFingerprint(char *at, quint32 fingerprint)
{
    for (int i = 7; i >= 0; --i) {
        at[i] = kHex[fingerprint & 0xF];
        fingerprint >>= 4;
    }
    return at + 8;
}

void appendFingerprint(QByteArray &out, quint32 fingerprint)
{
    char digits[8];
    out.append(digits, putFingerprint(digits, fingerprint) - digits);
}

namespace {
// The text escaped as the TEXTS and UIDS lists hold it.
char *putEscaped(char *at, QByteArrayView utf8)
{
    qsizetype end = utf8.size();
    while (end > 0 && utf8[end - 1] == ' ')
        --end;
    // The escaped characters are ASCII, so the bytes of every other
    // character are copied in runs.
    const char *run = utf8.data();
    const char *stop = utf8.data() + end;
    auto put = [&at](const char *bytes, qsizetype count) {
        if (count > 0)
            std::memcpy(at, bytes, size_t(count));
        at += count;
    };
    for (const char *p = run; p != stop; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c >= 0x20 && c != '\\' && c != 0x7F)
            continue;
        put(run, p - run);
        run = p + 1;
        switch (c) {
        case '\\':
            put("\\\\", 2);
            break;
        case '\r':
            put("\\r", 2);
            break;
        case '\n':
            put("\\n", 2);
            break;
        case '\t':
            put("\\t", 2);
            break;
        default:
            *at++ = '\\';
            *at++ = 'x';
            *at++ = kHex[(c >> 4) & 0xF];
            *at++ = kHex[c & 0xF];
            break;
        }
    }
    put(run, stop - run);
    for (qsizetype i = end; i < utf8.size(); ++i)
        put("\\x20", 4);
    return at;
}
} // namespace

char *putExactText(char *at, int section, qint64 record, int field, QByteArrayView utf8)
{
    at = putInteger(at, section);
    *at++ = ' ';
    at = putInteger(at, record);
    *at++ = ' ';
    at = putInteger(at, field);
    *at++ = ' ';
    return putEscaped(at, utf8);
}

void appendUidLine(QByteArray &out, qint64 key, QByteArrayView utf8)
{
    const qsizetype size = out.size();
    out.resize(size + kIntegerRoom + 1 + 4 * utf8.size());
    char *at = putInteger(out.data() + size, key);
    *at++ = ' ';
    at = putEscaped(at, utf8);
    out.resize(at - out.constData());
}

bool uidOf(QByteArrayView line, qint64 *key, QByteArray *utf8)
{
    const qsizetype blank = line.indexOf(' ');
    if (blank <= 0)
        return false;
    bool ok = false;
    *key = line.first(blank).toLongLong(&ok);
    return ok && unescape(line.sliced(blank + 1), utf8) && !utf8->isEmpty();
}

void appendExactText(QByteArray &out, int section, qint64 record, int field, QByteArrayView utf8)
{
    const qsizetype size = out.size();
    out.resize(size + exactTextRoom(utf8.size()));
    char *end = putExactText(out.data() + size, section, record, field, utf8);
    out.resize(end - out.constData());
}

bool exactTextOf(const BackupLines &lines, const ExactText &entry, QByteArray *utf8)
{
    QByteArray scratch;
    const QByteArrayView line = lines.utf8(entry.line, &scratch);
    // "<section> <record> <field> " and then the text.
    qsizetype at = 0;
    for (int blanks = 0; blanks < 3; ++blanks) {
        at = line.indexOf(' ', at);
        if (at < 0)
            return false;
        ++at;
    }
    return unescape(line.sliced(at), utf8);
}

BackupTrailer readTrailer(const BackupLines &lines, const BackupSections &sections)
{
    BackupTrailer trailer;
    if (sections.keysFrom < 0)
        return trailer;
    const qsizetype n = lines.size();
    qsizetype i = sections.keysFrom;
    while (i < n && lines.bytes(i).trimmed().isEmpty())
        ++i;

    // The key section of older versions, kept as they wrote it.
    if (i < n && lines.bytes(i) == kKeysContactTypes) {
        trailer.hasKeys = true;
        bool readable = true;
        QList<qint64> *target = &trailer.typeKeys;
        for (++i; i < n; ++i) {
            const QByteArrayView line = lines.bytes(i);
            if (line == kKeysContacts && target == &trailer.typeKeys) {
                target = &trailer.contactKeys;
                continue;
            }
            if (line == kKeysEnd && target == &trailer.contactKeys)
                break;
            qint64 key = 0;
            if (!readNumber(lines.text(i), &key)) {
                readable = false;
                break;
            }
            target->append(key);
        }
        if (i < n && readable) {
            ++i;
            // A repeated key could not give each row its own key back.
            trailer.keysValid = true;
            for (const QList<qint64> *list : {&trailer.typeKeys, &trailer.contactKeys}) {
                QSet<qint64> seen;
                seen.reserve(list->size());
                for (const qint64 key : *list) {
                    if (seen.contains(key))
                        trailer.keysValid = false;
                    seen.insert(key);
                }
            }
        } else {
            trailer.damaged = true;
            trailer.truncated = i >= n;
            return trailer;
        }
    }

    // This version writes the fingerprints and the exact texts after the
    // date form and ends with "TEXTS END"; a file that ends before it was cut.
    bool endsWithTexts = false;
    if (i < n && lines.bytes(i).startsWith("DATES")) {
        endsWithTexts = true;
        trailer.fixedDates = lines.bytes(i) == kDateFormLine;
        trailer.damaged = !trailer.fixedDates;
        ++i;
    }

    if (i < n && lines.bytes(i) == kLinesContactTypes) {
        const char *const headers[3] = {kLinesContactTypes, kLinesContacts, kLinesCalls};
        int section = 0;
        for (++i; i < n; ++i) {
            const QByteArrayView line = lines.bytes(i);
            if (section < 2 && line == headers[section + 1]) {
                ++section;
                continue;
            }
            quint32 fingerprint = 0;
            if (!readFingerprint(line, &fingerprint))
                break;
            trailer.lines[section].append(fingerprint);
        }
        trailer.hasLines = section == 2 && i < n;
        if (!trailer.hasLines) {
            trailer.damaged = true;
            trailer.truncated = i >= n;
            return trailer;
        }
    }

    if (i < n && lines.bytes(i) == kTexts) {
        ExactText previous{-1, -1, -1, 0};
        static_assert(sizeof(ExactText) <= 12, "one entry for each changed value of a large file");
        for (++i; i < n; ++i) {
            if (lines.bytes(i) == kTextsEnd)
                break;
            ExactText entry;
            qsizetype start = 0;
            if (!readTextHead(lines.bytes(i), &entry, &start))
                break;
            // In the order of section, record and field, each at most once.
            const bool ordered = entry.section > previous.section
                || (entry.section == previous.section
                    && (entry.record > previous.record
                        || (entry.record == previous.record && entry.field > previous.field)));
            if (!ordered)
                break;
            if (i > std::numeric_limits<qint32>::max())
                break;
            entry.line = qint32(i);
            trailer.texts.append(entry);
            previous = entry;
        }
        trailer.hasTexts = i < n && lines.bytes(i) == kTextsEnd;
        if (!trailer.hasTexts) {
            trailer.unreadTexts = trailer.texts.size();
            trailer.texts.clear();
            trailer.damaged = true;
            trailer.truncated = i >= n || (!lines.isEnded(n - 1) && i == n - 1);
        }
    } else if (endsWithTexts && i >= n) {
        trailer.truncated = true;
    }

    // The UIDs, after the exact texts.
    if (trailer.hasTexts && i + 1 < n && lines.bytes(i + 1) == kUids) {
        const qsizetype from = i + 2;
        qsizetype at = from;
        while (at < n && lines.bytes(at) != kUidsEnd)
            ++at;
        if (at < n) {
            trailer.uidsFrom = from;
            trailer.uidsTo = at;
        } else {
            trailer.truncated = true;
        }
    }
    return trailer;
}

QList<qint32> matchRecords(const BackupLines &lines, const BackupSections::Range &range,
                           const QList<quint32> &fingerprints)
{
    const qsizetype count = range.count();
    QList<qint32> places(count, -1);
    auto fingerprintOf = [&](qsizetype record) { return lineFingerprint(lines.bytes(range.first + record)); };

    // Every fingerprint with its place, sorted; built at the first line that
    // is not the next one of the list.
    std::vector<std::pair<quint32, qint64>> sorted;
    qint64 next = 0;
    for (qsizetype r = 0; r < count; ++r) {
        const quint32 fingerprint = fingerprintOf(r);
        if (next < fingerprints.size() && fingerprints.at(next) == fingerprint) {
            places[r] = qint32(next++);
            continue;
        }
        if (sorted.empty() && !fingerprints.isEmpty()) {
            sorted.reserve(size_t(fingerprints.size()));
            for (qsizetype p = 0; p < fingerprints.size(); ++p)
                sorted.emplace_back(fingerprints.at(p), p);
            std::sort(sorted.begin(), sorted.end());
        }
        const auto found = std::lower_bound(sorted.begin(), sorted.end(), std::make_pair(fingerprint, next));
        if (found == sorted.end() || found->first != fingerprint)
            continue; // a line that was not written, or was changed
        const qint64 place = found->second;
        // Lines were lost before this one: the jump is taken only when the
        // following line agrees, so that one stray line that happens to equal
        // a later record cannot take the places of the records between.
        const bool agrees = r + 1 >= count || place + 1 >= fingerprints.size()
            || fingerprints.at(place + 1) == fingerprintOf(r + 1);
        if (!agrees)
            continue;
        places[r] = qint32(place);
        next = place + 1;
    }
    return places;
}

} // namespace backup
