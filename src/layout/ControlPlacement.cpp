#include "ControlPlacement.h"

#include <QEvent>
#include <QPointer>
#include <QWidget>

#include <utility>

namespace zandrel::layout {

namespace {

// Watches one container and the children placed in it.
class ChildPlacer : public QObject {
    Q_OBJECT

public:
    explicit ChildPlacer(QWidget *container)
        : QObject(container), m_container(container), m_size(container->size())
    {
        container->installEventFilter(this);
    }

    static ChildPlacer *of(const QWidget *container)
    {
        return container->findChild<ChildPlacer *>(QString(), Qt::FindDirectChildrenOnly);
    }

    static ChildPlacer *ensure(QWidget *container)
    {
        ChildPlacer *placer = of(container);
        return placer ? placer : new ChildPlacer(container);
    }

    void setPlacement(QWidget *control, ControlAlign align, Anchors anchors)
    {
        Entry *entry = find(control);
        if (!entry) {
            control->installEventFilter(this);
            m_entries.append({control, align, anchors});
        } else {
            entry->align = align;
            entry->anchors = anchors;
        }
        apply();
    }

    ControlAlign alignOf(const QWidget *control) const
    {
        const Entry *entry = find(control);
        return entry ? entry->align : ControlAlign::None;
    }

    Anchors anchorsOf(const QWidget *control) const
    {
        const Entry *entry = find(control);
        return entry ? entry->anchors : DefaultAnchors;
    }

    // Follows the container's size change since the last time, then aligns. A request that comes
    // while placing (a child that reacts to its new size) is run after the current pass rather
    // than dropped, a few times at most so that children that never settle cannot hang the form.
    void apply()
    {
        if (m_suspended > 0) {
            m_pending = true;
            return;
        }
        if (m_applying) {
            m_again = true;
            return;
        }
        m_applying = true;
        int passes = 0;
        do {
            m_again = false;
            applyOnce();
        } while (m_again && ++passes < 8);
        m_applying = false;
    }

    void suspend() { ++m_suspended; }

    void resume()
    {
        if (m_suspended > 0 && --m_suspended == 0 && m_pending) {
            m_pending = false;
            apply();
        }
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if (watched == m_container) {
            if (type == QEvent::Resize)
                apply();
        } else if (type == QEvent::Resize || type == QEvent::Show || type == QEvent::Hide) {
            const auto *control = static_cast<QWidget *>(watched);
            if (control->parentWidget() == m_container && alignOf(control) != ControlAlign::None)
                apply();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    struct Entry {
        QPointer<QWidget> control;
        ControlAlign align = ControlAlign::None;
        Anchors anchors = DefaultAnchors;
    };

    const Entry *find(const QWidget *control) const
    {
        for (const Entry &entry : m_entries) {
            if (entry.control == control)
                return &entry;
        }
        return nullptr;
    }

    Entry *find(const QWidget *control) { return const_cast<Entry *>(std::as_const(*this).find(control)); }

    bool isPlacedHere(const Entry &entry) const
    {
        return entry.control && entry.control->parentWidget() == m_container && !entry.control->isWindow();
    }

    void applyOnce()
    {
        const QSize size = m_container->size();
        if (size != m_size) {
            const QSize oldSize = m_size;
            m_size = size;
            for (const Entry &entry : m_entries) {
                if (isPlacedHere(entry) && entry.align == ControlAlign::None)
                    entry.control->setGeometry(
                        anchoredGeometry(entry.control->geometry(), entry.anchors, oldSize, size));
            }
        }

        // Children are aligned in their child order, which is the order they were created in.
        QList<QWidget *> controls;
        QList<AlignedControl> aligned;
        for (QObject *child : m_container->children()) {
            auto *control = qobject_cast<QWidget *>(child);
            const Entry *entry = control ? find(control) : nullptr;
            if (!entry || !isPlacedHere(*entry) || entry->align == ControlAlign::None)
                continue;
            controls.append(control);
            aligned.append({entry->align, control->geometry(), !control->isHidden()});
        }
        const QList<QRect> geometries = alignControls(aligned, m_container->contentsRect());
        for (qsizetype i = 0; i < controls.size(); ++i) {
            if (controls[i]->geometry() != geometries[i])
                controls[i]->setGeometry(geometries[i]);
        }
    }

    QWidget *m_container;
    QSize m_size; // the size the children were last placed for
    QList<Entry> m_entries;
    bool m_applying = false;
    bool m_again = false;
    int m_suspended = 0;
    bool m_pending = false;
};

} // namespace

void setAlign(QWidget *control, ControlAlign align)
{
    if (!control || !control->parentWidget())
        return;
    ChildPlacer *placer = ChildPlacer::ensure(control->parentWidget());
    placer->setPlacement(control, align, placer->anchorsOf(control));
}

ControlAlign align(const QWidget *control)
{
    const ChildPlacer *placer =
        control && control->parentWidget() ? ChildPlacer::of(control->parentWidget()) : nullptr;
    return placer ? placer->alignOf(control) : ControlAlign::None;
}

void setAnchors(QWidget *control, Anchors anchors)
{
    if (!control || !control->parentWidget())
        return;
    ChildPlacer *placer = ChildPlacer::ensure(control->parentWidget());
    placer->setPlacement(control, placer->alignOf(control), anchors);
}

Anchors anchors(const QWidget *control)
{
    const ChildPlacer *placer =
        control && control->parentWidget() ? ChildPlacer::of(control->parentWidget()) : nullptr;
    return placer ? placer->anchorsOf(control) : DefaultAnchors;
}

void applyPlacement(QWidget *container)
{
    if (!container)
        return;
    if (ChildPlacer *placer = ChildPlacer::of(container))
        placer->apply();
    for (QObject *child : container->children()) {
        auto *control = qobject_cast<QWidget *>(child);
        if (control && !control->isWindow())
            applyPlacement(control);
    }
}

AlignmentSuspension::AlignmentSuspension(QWidget *container) : m_container(container)
{
    if (container)
        ChildPlacer::ensure(container)->suspend();
}

AlignmentSuspension::~AlignmentSuspension()
{
    if (ChildPlacer *placer = m_container ? ChildPlacer::of(m_container) : nullptr)
        placer->resume();
}

} // namespace zandrel::layout

#include "ControlPlacement.moc"
