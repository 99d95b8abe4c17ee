#pragma once

#include <QAbstractAnimation>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <functional>

class FrameWndController;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QPushButton;
class QStackedWidget;
class QToolButton;
class QWidget;
class ShortcutRecorder;

// The preferences window: three panes (general, word capture, update) for
// the three global hotkeys, the capture modifier, launch at login, minimised
// start, the capture switches and the manual update check.
class PreferencePanelController : public QObject {
    Q_OBJECT
public:
    explicit PreferencePanelController(FrameWndController* owner);
    ~PreferencePanelController() override;

    QWidget* window() const { return window_; }
    void showWindow();

    ShortcutRecorder* minimizingRecorder() const { return recorders_[0]; }
    ShortcutRecorder* screenTriggerRecorder() const { return recorders_[1]; }
    ShortcutRecorder* strokeTriggerRecorder() const { return recorders_[2]; }
    QButtonGroup* modifierMatrix() const { return modifierGroup_; }
    QCheckBox* autoLaunchBox() const { return autoLaunch_; }
    QCheckBox* autoMinimizeBox() const { return autoMinimize_; }
    QCheckBox* screenTransBox() const { return screenTrans_; }
    QCheckBox* wordStrokeBox() const { return wordStroke_; }
    QToolButton* updateButton() const { return updateButton_; }
    int currentPane() const;
    bool isSwitchingPane() const { return animation_ != nullptr; }

    void changeToView(int pane);  // 0 general, 1 word capture, 2 update
    // A recorder's new combination; index 0..2 as the recorders above.
    void keyComboDidChange(int recorder, int keyCode, quint64 flags);
    void changeModifier(int index);
    void autostart(bool on);
    void updateClick();
    void installChromePlugin();
    void installFirefoxPlugin();
    void gotoOfficialSite();

    // `frame` moved (not resized) so that it lies on `available` wherever it
    // can; a frame larger than the area keeps its top-left corner on it.
    static QRect fitOnScreen(const QRect& frame, const QRect& available);
    QLabel* shortcutNoteLabel() const { return shortcutNote_; }
    QPushButton* configureShortcutsButton() const { return configureShortcuts_; }

    // The action a recorder's hotkey runs (the main window's hotkey actions).
    std::function<void()> actionForRecorder(int recorder) const;

private:
    void loadValues();
    // The capture roads and the shortcut service this session has.
    void loadSessionFacts();
    void openHelpIn(const QStringList& browsers, const QString& logValue, const QString& missingText);

    FrameWndController* owner_ = nullptr;
    QWidget* window_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QToolButton* paneButtons_[3] = {};
    ShortcutRecorder* recorders_[3] = {};
    QLabel* recorderHint_ = nullptr;
    QLabel* roads_ = nullptr;
    QLabel* shortcutNote_ = nullptr;
    QPushButton* configureShortcuts_ = nullptr;
    QButtonGroup* modifierGroup_ = nullptr;
    QCheckBox* autoLaunch_ = nullptr;
    QCheckBox* autoMinimize_ = nullptr;
    QCheckBox* screenTrans_ = nullptr;
    QCheckBox* wordStroke_ = nullptr;
    QToolButton* updateButton_ = nullptr;
    QPointer<QAbstractAnimation> animation_;
};
