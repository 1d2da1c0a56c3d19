#pragma once

#include <QMdiSubWindow>
#include <QStyle>
#include <functional>

class QLabel;
class QTime;
class QFrame;
class TColorStringGrid;
class TLED;
struct TCellPaint;

// The always-present status child window: six figures, three lights and the status word.
class TFormStatus : public QMdiSubWindow {
    Q_OBJECT
public:
    // nextCheckTime gives the scheduled check time as a day count; setToolTip receives
    // the tray tip text that each LED call produces.
    TFormStatus(QWidget* parent, const QString& settingsPath, std::function<double()> nextCheckTime,
                std::function<void(const QString&)> setToolTip);

    // Reports a state: "Red", "Yellow" or "Green" make that light the one that blinks;
    // any other word changes only the text.
    void LED(const QString& colourWord, const QString& text);

    // The program's busy flag: the yellow light is blinking.
    bool Busy() const;

    // Column 1 of the grid (the values).
    QString Cell(int row) const;
    void SetCell(int row, const QString& text);
    // A time of day in the locale's way, or plain 24-hour digits where that is too wide.
    void SetTimeCell(int row, const QTime& time);

    TColorStringGrid* ColorStringGrid;
    QFrame* PanelLight;
    TLED* LEDRed;
    TLED* LEDYellow;
    TLED* LEDGreen;
    QLabel* LabelStatus;

    void FormShow();
    void ColorStringGridGetCellColor(TColorStringGrid* sender, int ARow, int ACol, QStyle::State AState,
                                     TCellPaint& paint);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QString m_settingsPath;
    std::function<double()> m_nextCheckTime;
    std::function<void(const QString&)> m_setToolTip;
    bool m_showPending = true;
};
