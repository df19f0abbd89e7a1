#include "WindowSizing.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHash>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QWidget>

namespace {
// How a control follows the extra width and height of the window.
enum class Across {
    Keep,    // stays where the form puts it
    Stretch, // takes the extra width
    Spread,  // one of a row of buttons spread over the width
    Follow,  // keeps its distance from the right edge
};
enum class Down {
    Keep,   // stays where the form puts it
    Grow,   // takes the extra height (the contact list)
    Follow, // moves down below the growing list
};

struct Anchor {
    const char *name;
    Across across;
    Down down;
};

// The main window's controls; the ones of the tab pages only widen with the tab control.
constexpr Anchor kAnchors[] = {
    {"ListView1", Across::Stretch, Down::Grow},
    {"PushButton8", Across::Spread, Down::Follow},
    {"PushButton9", Across::Spread, Down::Follow},
    {"PushButton5", Across::Spread, Down::Follow},
    {"PushButton10", Across::Spread, Down::Follow},
    {"FullName1", Across::Stretch, Down::Follow},
    {"SSTab1", Across::Stretch, Down::Follow},
    {"PushButton4", Across::Spread, Down::Follow},
    {"PushButton3", Across::Spread, Down::Follow},
    {"PushButton7", Across::Spread, Down::Follow},
    {"PushButton6", Across::Spread, Down::Follow},
    {"dc", Across::Stretch, Down::Follow},
    // General
    {"Text1_18", Across::Stretch, Down::Keep},
    // Calls
    {"DataGrid1", Across::Stretch, Down::Keep},
    {"dc1", Across::Stretch, Down::Keep},
    {"PushButton1", Across::Follow, Down::Keep},
    {"CallNotes", Across::Stretch, Down::Keep},
    // Additional Info
    {"Text1_23", Across::Stretch, Down::Keep},
    {"Text1_24", Across::Stretch, Down::Keep},
    {"Text1_25", Across::Stretch, Down::Keep},
};

// Places the controls for the content's size, from their designed geometry.
class ContentLayout : public QObject {
public:
    ContentLayout(QWidget *content, QSize design) : QObject(content), m_content(content), m_design(design)
    {
        for (const Anchor &anchor : kAnchors) {
            QWidget *widget = content->findChild<QWidget *>(QLatin1String(anchor.name));
            if (widget)
                m_placed.append({widget, widget->geometry(), anchor});
        }
        content->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_content && event->type() == QEvent::Resize)
            place(m_content->size());
        return false;
    }

private:
    struct Placed {
        QPointer<QWidget> widget;
        QRect design;
        Anchor anchor;
    };

    void place(QSize size) const
    {
        const int width = std::max(size.width(), m_design.width());
        const int extraWidth = width - m_design.width();
        const int extraHeight = std::max(0, size.height() - m_design.height());
        for (const Placed &placed : m_placed) {
            if (!placed.widget)
                continue;
            QRect rect = placed.design;
            switch (placed.anchor.across) {
            case Across::Keep:
                break;
            case Across::Stretch:
                rect.setWidth(rect.width() + extraWidth);
                break;
            case Across::Follow:
                rect.moveLeft(rect.left() + extraWidth);
                break;
            case Across::Spread: {
                const int left = placed.design.left() * width / m_design.width();
                const int right = (placed.design.left() + placed.design.width()) * width / m_design.width();
                rect.setLeft(left);
                rect.setWidth(right - left);
                break;
            }
            }
            switch (placed.anchor.down) {
            case Down::Keep:
                break;
            case Down::Grow:
                rect.setHeight(rect.height() + extraHeight);
                break;
            case Down::Follow:
                rect.moveTop(rect.top() + extraHeight);
                break;
            }
            placed.widget->setGeometry(rect);
        }
    }

    QWidget *m_content;
    QSize m_design;
    QList<Placed> m_placed;
};

// On the first show, a window larger than the screen's free area opens as
// large as that area; its content then scrolls.
class FitToScreen : public QObject {
public:
    explicit FitToScreen(QWidget *form) : QObject(form), m_form(form) { form->installEventFilter(this); }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_form && event->type() == QEvent::Show && !m_done) {
            m_done = true;
            QScreen *screen = m_form->screen() ? m_form->screen() : QGuiApplication::primaryScreen();
            if (screen) {
                // Room for the window manager's title bar and borders.
                const QSize room = screen->availableGeometry().size() - QSize(16, 48);
                if (!room.isEmpty() && (m_form->width() > room.width() || m_form->height() > room.height()))
                    m_form->resize(m_form->size().boundedTo(room));
            }
        }
        return false;
    }

private:
    QWidget *m_form;
    bool m_done = false;
};
} // namespace

void makeMainWindowResizable(QWidget *form)
{
    const QSize design = form->size();
    const auto controls = form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);

    auto *scrollArea = new QScrollArea(form);
    scrollArea->setObjectName(QStringLiteral("WindowScrollArea"));
    scrollArea->setFrameShape(QFrame::NoFrame);
    scrollArea->setFocusPolicy(Qt::NoFocus);
    scrollArea->setWidgetResizable(true);
    auto *content = new QWidget;
    content->setObjectName(QStringLiteral("WindowContent"));
    content->setMinimumSize(design);
    scrollArea->setWidget(content);

    // Moving the controls within the same window keeps their stacking and
    // tab order; their geometry is the form's.
    for (QWidget *control : controls) {
        const QRect geometry = control->geometry();
        const bool hidden = control->isHidden();
        control->setParent(content);
        control->setGeometry(geometry);
        if (!hidden)
            control->show();
    }
    new ContentLayout(content, design);

    auto *layout = new QVBoxLayout(form);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scrollArea);

    form->setMinimumSize(0, 0);
    form->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    form->resize(design);
    new FitToScreen(form);
}
