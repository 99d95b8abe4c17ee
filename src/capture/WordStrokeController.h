#pragma once

#include "capture/CaptureRoadTypes.h"
#include "capture/MouseMonitor.h"

#include <QObject>
#include <QPointF>
#include <QVariant>
#include <functional>
#include <optional>

class WordStrokeQueryController;

// Selection capture: a double click, or a drag of more than 5 points, in any
// window but the popup marks the spot; the next 0.1 s poll at a new pointer
// position reads the selected text (PRIMARY, the accessibility selection,
// then a guarded simulated copy, all on the capture thread), looks it up and
// shows the answer in the popup. Switched by the user default WordStroke,
// read at every check. The browser bridge enters through
// browsergetWordandQuery. Main thread only.
class WordStrokeController : public QObject {
    Q_OBJECT
public:
    using SelectionReader = std::function<void(const capture::SelectionRequest&, QObject* context,
                                               std::function<void(const capture::SelectedText&)>)>;

    explicit WordStrokeController(QObject* parent = nullptr);
    ~WordStrokeController() override;

    // Installs the gesture handler and starts the poll (once).
    void startMonitor();

    void onMouseEvent(const MouseMonitorEvent& e);
    void performTimerBasedUpdate();
    void checkUIElment();
    // A selected text from any source: looked up when it qualifies.
    void getSelectWordandQuery(const QString& selected);
    // The browser bridge's notice "type|pos|word" (the word may itself
    // hold bars); fewer than three fields are ignored.
    void chromeGotWordHandler(const QString& object);
    // A word a browser extension reported: type 0 hover, 1 selection.
    void browsergetWordandQuery(const QString& word, int pos, int type);
    void onQueryFinished(const QVariant& answer);
    // A selection the road reported by itself (no gesture): looked up, the
    // popup beside it.
    void settledSelection(const QString& text, const QRect& extents);

    MouseMonitor* mouseMonitor() const { return mouseMonitor_; }
    WordStrokeQueryController* queryController() const { return wordStrokeQueryController_; }
    QString lastWord() const { return lastWord_; }
    QString title() const { return title_; }
    bool isCheck() const { return isCheck_; }

    // Seams: where selected text comes from, and the pointer position.
    void setSelectionReader(SelectionReader reader) { reader_ = std::move(reader); }
    void setPointerFunction(std::function<QPointF()> f) { pointer_ = std::move(f); }

private:
    QPointF pointerPos() const;
    void showScrTransWnd(const QString& html, const QVariant& result);
    void hideScrTransWnd();

    MouseMonitor* mouseMonitor_ = nullptr;
    WordStrokeQueryController* wordStrokeQueryController_ = nullptr;
    QPointF lastMousePoint_{-1e9, -1e9};
    bool isCheck_ = false;
    bool started_ = false;
    quint32 gestureServerTime_ = 0;
    QString lastWord_;
    std::optional<QPointF> popupAt_;
    QString title_;
    SelectionReader reader_;
    std::function<QPointF()> pointer_;
};
