#pragma once

#include "widgets/TFxLabel.h"

#include <QAbstractButton>
#include <QLabel>
#include <QStringList>
#include <QTabBar>
#include <QTabWidget>
#include <QWidget>

// Texts a form shows cut: every label and button visible under root whose geometry is
// smaller than its size hint (a wrapping label: lower than its text needs at its width),
// and every tab whose caption does not fit or lies outside its tab bar. Each entry names
// the widget, its text and both sizes.
inline QStringList CutTexts(const QWidget* root)
{
    QStringList cut;
    const auto describe = [](const QWidget* w, const QString& text, const QSize& need) {
        return QStringLiteral("%1 \"%2\": %3x%4 < %5x%6")
            .arg(w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName(), text)
            .arg(w->width())
            .arg(w->height())
            .arg(need.width())
            .arg(need.height());
    };
    for (const QWidget* w : root->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(root)) {
            continue;
        }
        if (const auto* label = qobject_cast<const QLabel*>(w)) {
            if (label->text().isEmpty()) {
                continue;
            }
            if (label->wordWrap()) {
                const int need = label->heightForWidth(label->width());
                if (need > label->height()) {
                    cut << describe(w, label->text(), QSize(label->width(), need));
                }
                continue;
            }
        }
        QString text;
        if (const auto* label = qobject_cast<const QLabel*>(w)) {
            text = label->text();
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
            text = button->text();
        } else if (const auto* fx = qobject_cast<const TFxLabel*>(w)) {
            text = fx->DisplayText();
        } else if (const auto* bar = qobject_cast<const QTabBar*>(w)) {
            for (int i = 0; i < bar->count(); ++i) {
                const QRect tab = bar->tabRect(i);
                const int need = bar->fontMetrics().horizontalAdvance(bar->tabText(i));
                if (tab.width() < need || tab.right() >= bar->width()) {
                    cut << describe(w, bar->tabText(i), QSize(need, tab.height()));
                }
            }
            continue;
        } else {
            continue;
        }
        if (text.isEmpty()) {
            continue;
        }
        const QSize need = w->sizeHint();
        if (w->width() < need.width() || w->height() < need.height()) {
            cut << describe(w, text, need);
        }
    }
    return cut;
}
