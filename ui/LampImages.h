#pragma once

#include "core/Controls.h"

#include <QPixmap>

#include <array>

// The four status lamp images, drawn once at start-up and shared by every lamp.
class LampImages
{
public:
    static constexpr int Width = 31;
    static constexpr int Height = 32;

    LampImages();
    const QPixmap& image(Lamp lamp) const { return images_[static_cast<int>(lamp)]; }

private:
    std::array<QPixmap, 4> images_;
};
