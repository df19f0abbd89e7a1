#include "ReportDefinition.h"

namespace report {

const Control *Definition::control(const QString &name, SectionKind kind) const
{
    for (const Control &c : section(kind).controls) {
        if (c.name == name)
            return &c;
    }
    return nullptr;
}

namespace {

// Style indexes shared by the three reports.
enum StyleIndex {
    ReportFont = 0, // Arial 9.75 pt bold, black: the report's own font
    TitleFont,      // Arial 21.75 pt bold, black
    NavyRight,      // Arial 9.75 pt regular, navy, right-aligned
    NavyHeading,    // Arial 9.75 pt bold, navy
    DetailFont,     // Arial 9.75 pt regular, black
};

const QColor kNavy(0, 0, 128);
const QColor kLightGrey(224, 224, 224);

QList<Style> commonStyles()
{
    QList<Style> styles(5);
    styles[ReportFont].bold = true;
    styles[TitleFont].bold = true;
    styles[TitleFont].sizeTwips = 435;
    styles[NavyRight].color = kNavy;
    styles[NavyRight].alignment = Qt::AlignRight;
    styles[NavyHeading].bold = true;
    styles[NavyHeading].color = kNavy;
    return styles;
}

Control label(const QString &name, const QString &caption, int left, int top, int width, int height,
              int style)
{
    Control c;
    c.name = name;
    c.kind = ControlKind::Label;
    c.text = caption;
    c.left = left;
    c.top = top;
    c.width = width;
    c.height = height;
    c.style = style;
    return c;
}

Control heading(const QString &name, const QString &caption, int left, int top, int width)
{
    return label(name, caption, left, top, width, 285, NavyHeading);
}

Control field(const QString &name, const QString &column, int left, int top, int width, int height,
              Format format = Format::General, int style = DetailFont, bool canGrow = false)
{
    Control c;
    c.name = name;
    c.kind = ControlKind::TextBox;
    c.text = column;
    c.left = left;
    c.top = top;
    c.width = width;
    c.height = height;
    c.style = style;
    c.format = format;
    c.canGrow = canGrow;
    return c;
}

Control detail(const QString &name, const QString &column, int left, int width,
               Format format = Format::General, bool canGrow = false)
{
    return field(name, column, left, 0, width, 285, format, DetailFont, canGrow);
}

// The parts that differ between the reports' common header and footer.
struct Frame {
    int titleLeft;
    int titleWidth;
    int dateLeft;
    int dateTop;
    int timeTop;
    int shapeWidth;
    int pageNumberLeft;
};

std::shared_ptr<Definition> baseDefinition(int number, const QString &title, const QString &prefix,
                                           const Frame &frame)
{
    auto d = std::make_shared<Definition>();
    d->number = number;
    d->title = title;
    d->styles = commonStyles();
    const QString group = prefix + QStringLiteral("_Header");
    const QString detail = prefix + QStringLiteral("B_Detail");
    const QString footer = prefix + QStringLiteral("_Footer");
    const std::array<std::pair<QString, SectionKind>, kSectionCount> names{{
        {QStringLiteral("Section4"), SectionKind::ReportHeader},
        {QStringLiteral("Section2"), SectionKind::PageHeader},
        {group, SectionKind::GroupHeader},
        {detail, SectionKind::Detail},
        {footer, SectionKind::GroupFooter},
        {QStringLiteral("Section3"), SectionKind::PageFooter},
        {QStringLiteral("Section5"), SectionKind::ReportFooter},
    }};
    for (const auto &[name, kind] : names) {
        Section &s = d->section(kind);
        s.name = name;
        s.kind = kind;
    }

    Section &header = d->section(SectionKind::ReportHeader);
    header.height = 1380;
    Control shape;
    shape.name = QStringLiteral("Shape1");
    shape.kind = ControlKind::Shape;
    shape.top = 75;
    shape.width = frame.shapeWidth;
    shape.height = 210;
    shape.fill = kLightGrey;
    shape.border = Qt::white;
    header.controls << shape
                    << label(QStringLiteral("Label3"), title, frame.titleLeft, 390, frame.titleWidth, 555,
                             TitleFont)
                    << label(QStringLiteral("Label1"), QStringLiteral("%D"), frame.dateLeft, frame.dateTop,
                             2940, 240, NavyRight)
                    << label(QStringLiteral("Label2"), QStringLiteral("%T"), frame.dateLeft, frame.timeTop,
                             2925, 240, NavyRight);

    Section &pageFooter = d->section(SectionKind::PageFooter);
    pageFooter.height = 435;
    pageFooter.controls << label(QStringLiteral("Label10"), QStringLiteral("Page %p of %P"),
                                 frame.pageNumberLeft, 165, 2685, 240, NavyRight);
    return d;
}

std::shared_ptr<const Definition> contactListing()
{
    auto d = baseDefinition(1, QStringLiteral("Alphabetical Contact Listing"), QStringLiteral("cm1"),
                            {675, 6105, 10080, 405, 600, 13005, 10290});
    d->groupQuery = QStringLiteral("qryRep1A");
    d->detailQuery = QStringLiteral("qryRep1B");
    d->relationColumn = QStringLiteral("FirstLetter");
    d->groupOrder = {{QStringLiteral("ContactType"), SortKind::Text}, {QStringLiteral("FirstLetter"), SortKind::Number}};
    d->detailOrder = {{QStringLiteral("LastName"), SortKind::Text},
                      {QStringLiteral("FirstName"), SortKind::Text},
                      {QStringLiteral("ContactID"), SortKind::Number}};
    d->orientation = QPageLayout::Landscape;
    d->width = 13050;

    Section &page = d->section(SectionKind::PageHeader);
    page.height = 375;
    page.controls << heading(QStringLiteral("Label4"), QStringLiteral("Contact Name"), 900, 30, 1500)
                  << heading(QStringLiteral("Label5"), QStringLiteral("Company Name"), 3660, 30, 1650)
                  << heading(QStringLiteral("Label6"), QStringLiteral("Title"), 6180, 30, 675)
                  << heading(QStringLiteral("Label7"), QStringLiteral("Work Phone"), 8730, 30, 1275)
                  << heading(QStringLiteral("Label8"), QStringLiteral("Ext."), 10335, 30, 495)
                  << heading(QStringLiteral("Label9"), QStringLiteral("Fax Number"), 11265, 30, 1305);

    Section &group = d->section(SectionKind::GroupHeader);
    group.height = 330;
    group.controls << field(QStringLiteral("txtContactType"), QStringLiteral("ContactType"), 75, 15, 3270,
                            240, Format::General, ReportFont);

    Section &rows = d->section(SectionKind::Detail);
    rows.height = 285;
    rows.controls << detail(QStringLiteral("Text1"), QStringLiteral("fld01"), 900, 2700)
                  << detail(QStringLiteral("Text2"), QStringLiteral("CompanyName"), 3660, 2445)
                  << detail(QStringLiteral("Text3"), QStringLiteral("Title"), 6180, 2505)
                  << detail(QStringLiteral("Text4"), QStringLiteral("WorkPhone"), 8730, 1530, Format::Phone)
                  << detail(QStringLiteral("Text5"), QStringLiteral("WorkExtension"), 10335, 795)
                  << detail(QStringLiteral("Text6"), QStringLiteral("FaxNumber"), 11220, 1695, Format::Phone);
    return d;
}

std::shared_ptr<const Definition> callHistory()
{
    auto d = baseDefinition(2, QStringLiteral("Call History"), QStringLiteral("cm2"),
                            {675, 2790, 7245, 405, 600, 10170, 7455});
    d->groupQuery = QStringLiteral("qryRep2A");
    d->detailQuery = QStringLiteral("qryRep2B");
    d->relationColumn = QStringLiteral("FirstLetter");
    d->letterGroups = true;
    d->groupOrder = {{QStringLiteral("FirstLetter"), SortKind::Text}};
    d->detailOrder = {{QStringLiteral("LastName"), SortKind::Text},  {QStringLiteral("FirstName"), SortKind::Text},
                      {QStringLiteral("ContactID"), SortKind::Number}, {QStringLiteral("CallDate"), SortKind::Date},
                      {QStringLiteral("CallTime"), SortKind::Time},   {QStringLiteral("CallID"), SortKind::Number}};
    d->orientation = QPageLayout::Portrait;
    d->width = 10185;

    Section &page = d->section(SectionKind::PageHeader);
    page.height = 330;
    page.controls << heading(QStringLiteral("Label4"), QStringLiteral("Call Date"), 1725, 0, 915)
                  << heading(QStringLiteral("Label5"), QStringLiteral("Call Time"), 2925, 15, 960)
                  << heading(QStringLiteral("Label6"), QStringLiteral("Subject"), 4005, 30, 810)
                  << heading(QStringLiteral("Label7"), QStringLiteral("Notes"), 6675, 45, 705);

    Section &group = d->section(SectionKind::GroupHeader);
    group.height = 270;
    group.controls << field(QStringLiteral("txtFirstLetter"), QStringLiteral("FirstLetter"), 45, 30, 1530, 240,
                            Format::General, ReportFont);

    Section &rows = d->section(SectionKind::Detail);
    rows.height = 285;
    rows.controls << detail(QStringLiteral("Text1"), QStringLiteral("fld01"), 195, 1470)
                  << detail(QStringLiteral("Text2"), QStringLiteral("CallDate"), 1725, 1140, Format::DateMDY)
                  << detail(QStringLiteral("Text3"), QStringLiteral("CallTime"), 2925, 870, Format::TimeAmPm)
                  << detail(QStringLiteral("Text4"), QStringLiteral("Subject"), 3855, 2565, Format::General, true)
                  << detail(QStringLiteral("Text5"), QStringLiteral("Notes"), 6465, 3660, Format::General, true);
    return d;
}

std::shared_ptr<const Definition> weeklySummary()
{
    auto d = baseDefinition(3, QStringLiteral("Weekly Call Summary"), QStringLiteral("cm3"),
                            {660, 4800, 9060, 390, 585, 12045, 9180});
    d->groupQuery = QStringLiteral("qryRep3A");
    d->detailQuery = QStringLiteral("qryRep3B");
    d->relationColumn = QStringLiteral("CallDate");
    d->groupOrder = {{QStringLiteral("CallDate"), SortKind::Date}};
    d->detailOrder = {{QStringLiteral("CallTime"), SortKind::Time}, {QStringLiteral("CallID"), SortKind::Number}};
    d->orientation = QPageLayout::Landscape;
    d->width = 12060;

    Section &page = d->section(SectionKind::PageHeader);
    page.height = 315;
    page.controls << heading(QStringLiteral("Label4"), QStringLiteral("Date"), 15, 30, 570)
                  << heading(QStringLiteral("Label5"), QStringLiteral("Time"), 930, 30, 600)
                  << heading(QStringLiteral("Label8"), QStringLiteral("Contact Name"), 1875, 30, 1500)
                  << heading(QStringLiteral("Label6"), QStringLiteral("Subject"), 4440, 30, 810)
                  << heading(QStringLiteral("Label7"), QStringLiteral("Work Phone"), 7905, 30, 1275)
                  << heading(QStringLiteral("Label9"), QStringLiteral("Ext."), 9495, 30, 495)
                  << heading(QStringLiteral("Label11"), QStringLiteral("Fax Number"), 10365, 30, 1305);

    Section &group = d->section(SectionKind::GroupHeader);
    group.height = 315;
    group.controls << field(QStringLiteral("Text2"), QStringLiteral("CallDate"), 45, 0, 1140, 285,
                            Format::DateMDY, DetailFont);

    Section &rows = d->section(SectionKind::Detail);
    rows.height = 285;
    rows.controls << detail(QStringLiteral("Text3"), QStringLiteral("CallTime"), 930, 870, Format::TimeAmPm)
                  << detail(QStringLiteral("Text1"), QStringLiteral("fld01"), 1875, 2520)
                  << detail(QStringLiteral("Text4"), QStringLiteral("Subject"), 4440, 3435, Format::General, true)
                  << detail(QStringLiteral("Text5"), QStringLiteral("WorkPhone"), 7905, 1530, Format::Phone)
                  << detail(QStringLiteral("Text6"), QStringLiteral("WorkExtension"), 9495, 795)
                  << detail(QStringLiteral("Text7"), QStringLiteral("FaxNumber"), 10365, 1695, Format::Phone);
    return d;
}

} // namespace

std::shared_ptr<const Definition> reportDefinition(int number)
{
    static const std::shared_ptr<const Definition> reports[] = {contactListing(), callHistory(),
                                                                weeklySummary()};
    if (number < kFirstReport || number > kLastReport)
        return nullptr;
    return reports[number - 1];
}

} // namespace report
