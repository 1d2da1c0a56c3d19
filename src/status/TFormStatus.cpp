#include "status/TFormStatus.h"

#include "core/TClock.h"
#include "core/TExceptionHook.h"
#include "core/TIntConvert.h"
#include "settings/TIniFile.h"
#include "settings/TSettingsKeys.h"
#include "status/TLED.h"
#include "widgets/TColorStringGrid.h"

#include <QHeaderView>
#include <QLabel>
#include <QShowEvent>
#include <QTime>

namespace {
constexpr int kClientWidth = 162;
constexpr int kClientHeight = 173;
constexpr int kGridHeight = 150;
constexpr int kLightHeight = 21;
constexpr int kRows = 6;

bool numberOf(const QString& text, int& value)
{
    return !text.isEmpty() && TIntConvert::TryParse(text, value);
}
} // namespace

TFormStatus::TFormStatus(QWidget* parent, const QString& settingsPath, std::function<double()> nextCheckTime,
                         std::function<void(const QString&)> setToolTip)
    : QMdiSubWindow(parent), m_settingsPath(settingsPath), m_nextCheckTime(std::move(nextCheckTime)),
      m_setToolTip(std::move(setToolTip))
{
    setObjectName(QStringLiteral("FormStatus"));
    setWindowTitle(QStringLiteral("Status"));
    // No close, minimise or maximise: the window lives as long as the program.
    setWindowFlags(Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setSystemMenu(nullptr);

    auto* client = new QWidget(this);
    client->setFixedSize(kClientWidth, kClientHeight);

    ColorStringGrid = new TColorStringGrid(client, 0);
    ColorStringGrid->setObjectName(QStringLiteral("ColorStringGrid"));
    ColorStringGrid->SetColCount(2);
    ColorStringGrid->SetRowCount(kRows);
    ColorStringGrid->SetColWidths(0, 80);
    ColorStringGrid->SetColWidths(1, 80);
    ColorStringGrid->verticalHeader()->setDefaultSectionSize(kGridHeight / kRows);
    ColorStringGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ColorStringGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ColorStringGrid->setFrameShape(QFrame::NoFrame);
    ColorStringGrid->setShowGrid(true);
    ColorStringGrid->setFocusPolicy(Qt::NoFocus);
    ColorStringGrid->setSelectionMode(QAbstractItemView::NoSelection);
    ColorStringGrid->setGeometry(0, 0, kClientWidth, kGridHeight);
    ColorStringGrid->OnGetCellColor = [this](TColorStringGrid* sender, int row, int col, QStyle::State state,
                                             TCellPaint& paint) {
        ColorStringGridGetCellColor(sender, row, col, state, paint);
    };

    PanelLight = new QFrame(client);
    PanelLight->setObjectName(QStringLiteral("PanelLight"));
    PanelLight->setGeometry(0, kClientHeight - kLightHeight, kClientWidth, kLightHeight);
    PanelLight->setAutoFillBackground(true);
    QPalette pal = PanelLight->palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, Qt::black);
    PanelLight->setPalette(pal);

    const int ledTop = (kLightHeight - 17) / 2;
    auto makeLed = [&](const char* name, TLEDColorType color, int left) {
        auto* led = new TLED(PanelLight);
        led->setObjectName(QLatin1String(name));
        led->SetColor(color);
        led->SetState(TLEDState::LEDOff);
        led->SetBlinking(false);
        led->SetBlinkInterval(500);
        led->move(left, ledTop);
        return led;
    };
    LEDRed = makeLed("LEDRed", TLEDColorType::Red, 4);
    LEDYellow = makeLed("LEDYellow", TLEDColorType::Yellow, 20);
    LEDGreen = makeLed("LEDGreen", TLEDColorType::Green, 36);

    LabelStatus = new QLabel(PanelLight);
    LabelStatus->setObjectName(QStringLiteral("LabelStatus"));
    LabelStatus->setGeometry(64, 0, 97, kLightHeight);
    QFont bold = LabelStatus->font();
    bold.setBold(true);
    LabelStatus->setFont(bold);

    setWidget(client);
    setFixedSize(sizeHint());
}

void TFormStatus::showEvent(QShowEvent* event)
{
    QMdiSubWindow::showEvent(event);
    // Only a show of this window itself counts, not the frame coming back from the tray.
    if (m_showPending) {
        m_showPending = false;
        TExceptionHook::Run([this] { FormShow(); });
    }
}

void TFormStatus::hideEvent(QHideEvent* event)
{
    QMdiSubWindow::hideEvent(event);
    if (isHidden()) {
        m_showPending = true;
    }
}

void TFormStatus::FormShow()
{
    {
        TIniFile ini(m_settingsPath);
        const int top = TSetting(TSettingsKeys::WindowsStatusTop).ReadInteger(ini);
        const int left = TSetting(TSettingsKeys::WindowsStatusLeft).ReadInteger(ini);
        move(left, top);
    }
    static const char* const labels[kRows] = {QT_TR_NOOP("信箱數目"), QT_TR_NOOP("信件數目"), QT_TR_NOOP("新進信件"),
                                              QT_TR_NOOP("現在日期"), QT_TR_NOOP("現在時間"), QT_TR_NOOP("下次檢查")};
    for (int row = 0; row < kRows; ++row) {
        ColorStringGrid->SetCells(0, row, tr(labels[row]));
    }
    SetCell(1, QStringLiteral("0"));
    SetCell(2, QStringLiteral("0"));
}

void TFormStatus::LED(const QString& colourWord, const QString& text)
{
    LabelStatus->setText(text);
    if (m_setToolTip) {
        m_setToolTip(QStringLiteral("Mailvane: ") + text);
    }
    TLED* lit = nullptr;
    if (colourWord == QLatin1String("Red")) {
        lit = LEDRed;
    } else if (colourWord == QLatin1String("Yellow")) {
        lit = LEDYellow;
    } else if (colourWord == QLatin1String("Green")) {
        lit = LEDGreen;
    } else {
        return;
    }
    for (TLED* led : {LEDRed, LEDYellow, LEDGreen}) {
        led->SetBlinking(led == lit);
    }
}

bool TFormStatus::Busy() const
{
    return LEDYellow->Blinking();
}

QString TFormStatus::Cell(int row) const
{
    return ColorStringGrid->Cells(1, row);
}

void TFormStatus::SetCell(int row, const QString& text)
{
    ColorStringGrid->SetCells(1, row, text);
    // The red rules depend on the clock as well as the text: repaint every cell.
    ColorStringGrid->viewport()->update();
}

void TFormStatus::SetTimeCell(int row, const QTime& time)
{
    // Judged on the widest times of both halves of the day, so that the form does not
    // change with the hour. The text starts 2 px in and stops 1 px before the grid line.
    const int room = ColorStringGrid->ColWidths(1) - 4;
    const QFontMetrics metrics = ColorStringGrid->fontMetrics();
    bool fits = true;
    for (const QTime& widest : {QTime(10, 58, 58), QTime(22, 58, 58)}) {
        fits = fits && metrics.horizontalAdvance(TClock::TimeText(widest)) <= room;
    }
    SetCell(row, fits ? TClock::TimeText(time) : time.toString(QStringLiteral("HH:mm:ss")));
}

void TFormStatus::ColorStringGridGetCellColor(TColorStringGrid* sender, int ARow, int ACol, QStyle::State,
                                              TCellPaint& paint)
{
    // The grid never shows a selection: a selected cell looks like any other.
    if (paint.Brush.color() == sender->HighlightColor()) {
        paint.Brush = QBrush(sender->GridColor());
        paint.FontColor = sender->palette().color(QPalette::WindowText);
    }
    if (ACol != 1) {
        return;
    }
    const QString text = sender->Cells(ACol, ARow);
    int value = 0;
    bool red = false;
    if (ARow == 0) {
        red = numberOf(text, value) && value < 1;
    } else if (ARow == 2) {
        red = numberOf(text, value) && value != 0;
    } else if (ARow == 5 && m_nextCheckTime) {
        const qint64 msLeft = qRound64((m_nextCheckTime() - TClock::Now()) * 86400000.0);
        red = msLeft <= 10000;
    }
    if (red) {
        paint.FontColor = Qt::red;
    }
}
