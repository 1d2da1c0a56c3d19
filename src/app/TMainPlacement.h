#pragma once

class QWidget;
class TIniFile;

// Where the main window opens and what of it is remembered: the stored frame, or on a
// first start a frame that fits the screen; positions only where the platform honours them.
class TMainPlacement {
public:
    static void Restore(QWidget& frame, const TIniFile& ini);
    static void Save(const QWidget& frame, TIniFile& ini);
};
