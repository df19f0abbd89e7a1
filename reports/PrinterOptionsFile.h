#pragma once

#include <QByteArray>
#include <QString>

// The print system's stored printer options of this user (the CUPS
// "lpoptions" file): one line per destination, "Dest name options..." or
// "Default name options...". Edits change one line of one destination and
// keep every other byte of the file as it was.
class PrinterOptionsFile {
public:
    // The file of the current user: ~/.cups/lpoptions.
    static QString userFilePath();

    explicit PrinterOptionsFile(QString path = userFilePath());

    // Reads the file; a missing file reads as empty and not existing.
    bool read();
    bool exists() const { return m_exists; }
    const QByteArray &text() const { return m_text; }
    void setText(QByteArray text) { m_text = std::move(text); }

    // The line of the destination ("name" or "name/instance"), without its
    // line end; empty when the file has none.
    QByteArray line(const QByteArray &destination) const;
    // Replaces the destination's line, adds it at the end when there is none,
    // or removes it when the new line is empty.
    void setLine(const QByteArray &destination, const QByteArray &line);

    // Writes the text back; removes the file instead when it did not exist
    // before and the text is now empty. False when that failed.
    bool write(bool existedBefore) const;

    // A line with one option set to a value (added at the end when the line
    // lacks it), or removed when the value is empty. The rest of the line
    // stays byte for byte.
    static QByteArray withOption(const QByteArray &line, const QByteArray &destination, const QByteArray &name,
                                 const QByteArray &value);

    // The value of an option on a line, empty when the line lacks it.
    static QByteArray optionValue(const QByteArray &line, const QByteArray &name);
    // The number of options on a line.
    static int optionCount(const QByteArray &line);
    // True when the file names a default destination ("Default name ...").
    bool hasDefaultLine() const;
    // The line as the default destination's: "Default name ...".
    static QByteArray asDefaultLine(const QByteArray &line);

private:
    struct Span {
        qsizetype begin = -1; // start of the line
        qsizetype end = -1;   // its end, before the line break
    };
    Span find(const QByteArray &destination) const;

    QString m_path;
    QByteArray m_text;
    bool m_exists = false;
};
