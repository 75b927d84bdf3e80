#pragma once

#include <QAbstractScrollArea>
#include <QPixmap>

// A sunken window showing a picture, with scroll bars only where the picture is larger than
// the window. Scrolling moves by 1 pixel a line and 20 pixels a page and stops at the edges.
class PictureWindow : public QAbstractScrollArea
{
    Q_OBJECT

public:
    static constexpr int LineStep = 1;
    static constexpr int PageStep = 20;

    explicit PictureWindow(QWidget* parent = nullptr);

    // Shows the picture; a null picture shows "File not found." instead.
    void showPicture(const QPixmap& picture);
    QPoint offset() const;

    // The product picture, 95 x 88 pixels.
    static QPixmap productPicture();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void updateScrollBars();

    QPixmap picture_;
};
