#include "app/TMainPlacement.h"

#include "core/TFirstGeometry.h"
#include "core/TPlatformRules.h"
#include "settings/TIniFile.h"
#include "settings/TSettingsKeys.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace Keys = TSettingsKeys;

void TMainPlacement::Restore(QWidget& frame, const TIniFile& ini)
{
    // Without a stored size (a first start) the frame fits the screen it opens on.
    QRect placed = TFirstGeometry::MainWindow(frame.screen() ? frame.screen()->availableGeometry() : QRect());
    if (!TSetting(Keys::WindowsMainWidth).WithDefault(QString()).ReadString(ini).isEmpty()) {
        placed = QRect(
            TSetting(Keys::WindowsMainLeft).ReadInteger(ini), TSetting(Keys::WindowsMainTop).ReadInteger(ini),
            TSetting(Keys::WindowsMainWidth).ReadInteger(ini), TSetting(Keys::WindowsMainHeight).ReadInteger(ini));
    }
    if (TPlatformRules::PositionsHonoured(QGuiApplication::platformName())) {
        frame.move(placed.topLeft());
    }
    frame.resize(placed.size());
}

void TMainPlacement::Save(const QWidget& frame, TIniFile& ini)
{
    TSetting(Keys::WindowsMainTop).WriteInteger(ini, frame.y());
    TSetting(Keys::WindowsMainLeft).WriteInteger(ini, frame.x());
    TSetting(Keys::WindowsMainHeight).WriteInteger(ini, frame.height());
    TSetting(Keys::WindowsMainWidth).WriteInteger(ini, frame.width());
}
