#pragma once
// A group box drawn the classic way: an etched frame whose top line runs through the middle of the
// title, which stands on it at the left. Styles that put the title above the frame push the frame
// down into the box, across controls laid out at fixed places just under the title.
#include <QGroupBox>

class EtchedGroupBox : public QGroupBox {
    Q_OBJECT
  public:
    EtchedGroupBox(const QString& title, QWidget* parent);

    // Where the frame and the title are drawn, in the box's coordinates.
    QRect frameRect() const;
    QRect titleRect() const;

    static constexpr int kTitleLeft = 8;

  protected:
    void paintEvent(QPaintEvent* event) override;
};
