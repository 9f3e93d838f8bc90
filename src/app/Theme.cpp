#include "app/Theme.h"

#include "platform/Preferences.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

Theme::Theme(QObject *parent) : QObject(parent)
{
    m_systemStyle = QApplication::style()->name();
    connect(Preferences::notifier(), &Preferences::valueChanged, this, [this](const QString &key) {
        if (key == QLatin1String(PrefKey::themePreference))
            apply(fromPreference(Preferences::intValue(PrefKey::themePreference, 0)));
    });
}

Theme::Appearance Theme::fromPreference(int value)
{
    if (value == Light || value == Dark)
        return Appearance(value);
    return System;
}

QPalette Theme::darkPalette()
{
    QPalette p;
    const QColor window(40, 40, 42);
    const QColor base(30, 30, 32);
    const QColor text(235, 235, 240);
    const QColor disabled(120, 120, 125);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(48, 48, 52));
    p.setColor(QPalette::ToolTipBase, QColor(60, 60, 64));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(160, 160, 168));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(58, 58, 62));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(255, 90, 80));
    p.setColor(QPalette::Light, QColor(70, 70, 74));
    p.setColor(QPalette::Midlight, QColor(60, 60, 64));
    p.setColor(QPalette::Mid, QColor(50, 50, 54));
    p.setColor(QPalette::Dark, QColor(25, 25, 27));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, QColor(10, 132, 255));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(64, 156, 255));
    p.setColor(QPalette::LinkVisited, QColor(160, 120, 255));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(70, 70, 74));
    return p;
}

void Theme::apply(Appearance appearance)
{
    switch (appearance) {
    case Dark:
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setPalette(darkPalette());
        break;
    case Light: {
        QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion"));
        QApplication::setStyle(fusion);
        QApplication::setPalette(fusion->standardPalette());
        break;
    }
    case System: {
        QStyle *style = QStyleFactory::create(m_systemStyle);
        if (!style)
            style = QStyleFactory::create(QStringLiteral("Fusion"));
        QApplication::setStyle(style);
        // A palette that sets nothing hands every colour back to the platform theme.
        QApplication::setPalette(QPalette());
        break;
    }
    }
    m_current = appearance;
    emit applied(appearance);
}
