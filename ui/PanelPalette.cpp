#include "ui/PanelPalette.h"

#include <utility>

QPalette panelPalette()
{
    const QColor panelGrey(0xDA, 0xDA, 0xDA);
    // Disabled text at 4.5:1 against the panel, so that a locked control still reads.
    const QColor dimmed(0x5A, 0x5A, 0x5A);
    const std::pair<QPalette::ColorRole, QColor> roles[] = {
        {QPalette::Window, panelGrey},
        {QPalette::WindowText, Qt::black},
        {QPalette::Base, Qt::white},
        {QPalette::AlternateBase, QColor(0xF0, 0xF0, 0xF0)},
        {QPalette::Text, Qt::black},
        {QPalette::PlaceholderText, dimmed},
        {QPalette::Button, QColor(0xE6, 0xE6, 0xE6)},
        {QPalette::ButtonText, Qt::black},
        {QPalette::BrightText, Qt::white},
        {QPalette::Light, Qt::white},
        {QPalette::Midlight, QColor(0xEE, 0xEE, 0xEE)},
        {QPalette::Mid, QColor(0xA0, 0xA0, 0xA0)},
        {QPalette::Dark, QColor(0x80, 0x80, 0x80)},
        {QPalette::Shadow, QColor(0x40, 0x40, 0x40)},
        {QPalette::Highlight, QColor(0x30, 0x8C, 0xC6)},
        {QPalette::HighlightedText, Qt::white},
        {QPalette::Link, QColor(0x00, 0x00, 0xC0)},
        {QPalette::LinkVisited, QColor(0x55, 0x1A, 0x8B)},
        {QPalette::ToolTipBase, QColor(0xFF, 0xFF, 0xDC)},
        {QPalette::ToolTipText, Qt::black},
    };
    QPalette palette;
    for (const auto& [role, colour] : roles)
        palette.setColor(role, colour);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, dimmed);
    return palette;
}
