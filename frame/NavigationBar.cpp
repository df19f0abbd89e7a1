#include "NavigationBar.h"

#include "frame/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

namespace {
QToolButton *makeButton(QWidget *parent, Qt::ArrowType arrow, const QString &text,
                        const QString &toolTip)
{
    auto *button = new QToolButton(parent);
    if (text.isEmpty())
        button->setArrowType(arrow);
    else
        button->setText(text);
    button->setToolTip(toolTip);
    button->setAutoRaise(false);
    // Reached by Tab and pressed with Space; a mouse click leaves the focus where it was.
    button->setFocusPolicy(Qt::TabFocus);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    return button;
}
} // namespace

NavigationBar::NavigationBar(QWidget *parent)
    : QWidget(parent),
      m_first(makeButton(this, Qt::NoArrow, QStringLiteral("|◀"), tr("First"))),
      m_previous(makeButton(this, Qt::LeftArrow, QString(), tr("Previous"))),
      m_next(makeButton(this, Qt::RightArrow, QString(), tr("Next"))),
      m_last(makeButton(this, Qt::NoArrow, QStringLiteral("▶|"), tr("Last"))),
      m_caption(new QLabel(this))
{
    m_caption->setAlignment(Qt::AlignCenter);
    makeWhite(m_caption);
    m_caption->setFrameShape(QFrame::Panel);
    m_caption->setFrameShadow(QFrame::Sunken);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_first);
    layout->addWidget(m_previous);
    layout->addWidget(m_caption, 1);
    layout->addWidget(m_next);
    layout->addWidget(m_last);

    connect(m_first, &QToolButton::clicked, this, &NavigationBar::firstClicked);
    connect(m_previous, &QToolButton::clicked, this, &NavigationBar::previousClicked);
    connect(m_next, &QToolButton::clicked, this, &NavigationBar::nextClicked);
    connect(m_last, &QToolButton::clicked, this, &NavigationBar::lastClicked);
}

QString NavigationBar::caption() const
{
    return m_caption->text();
}

void NavigationBar::setCaption(const QString &caption)
{
    m_caption->setText(caption);
}
