#pragma once

#include <QObject>

// The application's appearance from "themePreference": 0 (or anything unknown) follows
// the system, 1 is light, 2 is dark (Fusion with a dark palette).
class Theme : public QObject {
    Q_OBJECT
public:
    enum Appearance { System = 0, Light = 1, Dark = 2 };

    // Remembers the system's own style, then follows the preference, applying every
    // change at once. Tooltips wait "NSInitialToolTipDelay" milliseconds in every style.
    explicit Theme(QObject *parent = nullptr);

    static Appearance fromPreference(int value);
    void apply(Appearance appearance);
    Appearance current() const { return m_current; }

    // Fusion's own colours, with every text and selection colour reaching 4.5:1.
    static QPalette lightPalette();
    static QPalette darkPalette();
    // The name of the style in use, under the tooltip-delay wrapper.
    static QString styleName();

signals:
    void applied(Theme::Appearance appearance);

private:
    QString m_systemStyle;
    Appearance m_current = System;
};
