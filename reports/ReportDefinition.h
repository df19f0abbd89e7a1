#pragma once

#include <QColor>
#include <QList>
#include <QMarginsF>
#include <QPageLayout>
#include <QString>

#include <array>
#include <memory>

// A banded report described as data. Every measure is in twips (1440 to the
// inch); control positions are relative to their section, and section
// contents start at the left page margin.
namespace report {

inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kTwipsPerPoint = 20;

// How a field value becomes text.
enum class Format {
    General,  // the value as stored; Null as nothing
    Phone,    // "\(###\) 000\-0000" for a value of digits only (phoneDisplayText), else as stored
    DateMDY,  // "mm/dd/yyyy\ ": 08/31/2021 followed by one blank
    TimeAmPm, // "h:mm AM/PM": 9:05 PM
};

enum class ControlKind {
    Label,   // fixed text; may hold the codes %D %T %p %P
    TextBox, // a field of the section's row
    Shape,   // a filled rectangle
};

// A font and colour with the text's horizontal alignment.
struct Style {
    QString family = QStringLiteral("Arial");
    int sizeTwips = 195; // 9.75 pt
    bool bold = false;
    QColor color = Qt::black;
    Qt::Alignment alignment = Qt::AlignLeft;
};

struct Control {
    QString name;
    ControlKind kind = ControlKind::Label;
    QString text; // the caption of a label, the field name of a text box
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int style = 0; // index into Definition::styles
    Format format = Format::General;
    bool canGrow = false; // grows downward to fit its text (word-wrapped)
    QColor fill;          // shapes: the fill colour
    QColor border;        // shapes: the outline colour
};

enum class SectionKind {
    ReportHeader,
    PageHeader,
    GroupHeader,
    Detail,
    GroupFooter,
    PageFooter,
    ReportFooter,
};
inline constexpr int kSectionCount = 7;

struct Section {
    QString name;
    SectionKind kind = SectionKind::Detail;
    int height = 0;
    QList<Control> controls;
};

// How the rows of a query are put in order after reading.
enum class SortKind {
    Text,   // collated as the user's locale reads it, leading and trailing blanks ignored
    Number, // an integer
    Date,   // a stored date (its date part)
    Time,   // a stored time of day
};

struct SortKey {
    QString column;
    SortKind kind = SortKind::Text;
};

struct Definition {
    int number = 0;
    QString title;          // the report's name, also the preview's title
    QString groupQuery;     // the saved query of the parent rows: one row per group
    QString detailQuery;    // the saved query of the child rows
    QString relationColumn; // parents and children relate by equal values of this column
    // Relation values are the first letters of names: they are folded to the
    // letter a reader groups them under (case, and accents where the locale
    // does), and parents that fold to the same letter are one group.
    bool letterGroups = false;
    // The order of the groups and, within each group, of the detail rows.
    // Groups whose relation value is empty come after all the others; a
    // group without detail rows is not printed.
    QList<SortKey> groupOrder;
    QList<SortKey> detailOrder;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    int width = 0;                                  // the report width
    QMarginsF margins{900.0, 1440.0, 600.0, 1440.0}; // left, top, right, bottom
    QList<Style> styles;
    std::array<Section, kSectionCount> sections;

    const Section &section(SectionKind kind) const { return sections[static_cast<int>(kind)]; }
    Section &section(SectionKind kind) { return sections[static_cast<int>(kind)]; }
    // The control of that name in any section, or null.
    const Control *control(const QString &name, SectionKind kind) const;
};

// The three reports: 1 "Alphabetical Contact Listing", 2 "Call History",
// 3 "Weekly Call Summary". Any other number gives null.
std::shared_ptr<const Definition> reportDefinition(int number);

inline constexpr int kFirstReport = 1;
inline constexpr int kLastReport = 3;

} // namespace report
