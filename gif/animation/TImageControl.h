#pragma once

#include <QColor>
#include <QWidget>

#include <atomic>
#include <memory>
#include <mutex>

class QPainter;

// How a control places itself in its parent: a dimension it takes from the parent is not its own.
enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

// A control that shows a picture: painted in one step through an off-screen buffer (no flicker), over
// its parent's colour, or over whatever lies behind it when the picture has transparent parts.
// Starts 105 x 105. Subclasses paint the picture in paintImage() and guard their displayed state with
// the lock, which painting holds too.
class TImageControl : public QWidget {
  public:
    explicit TImageControl(QWidget* parent = nullptr);
    ~TImageControl() override;

    TAlign align() const { return align_; }
    // alClient fills the parent, alTop/alBottom take its width, alLeft/alRight its height, following it.
    void setAlign(TAlign align);

    // The colour filled behind an opaque picture: the parent's background colour.
    QColor color() const;

    // True while the control paints itself; true while that paint goes to the off-screen buffer.
    bool drawing() const { return drawing_; }
    bool bufferedPaint() const { return bufferedPaint_; }

    void setVisible(bool visible) override;

  protected:
    // Serialises changes of the displayed state against painting; recursive, and shared so that a
    // holder may outlive the control (a tick that destroys it still unlocks safely).
    const std::shared_ptr<std::recursive_mutex>& lockHandle() const { return lock_; }

    // The control itself is not hidden and has a parent: only its own visibility counts, not its window's.
    // Readable from any thread.
    bool shownInParent() const { return shownInParent_; }

    // True: let what lies behind the control show where the picture leaves it (transparent or empty).
    virtual bool showsWhatIsBehind() const = 0;
    // Paints the picture into the off-screen buffer, under the lock.
    virtual void paintImage(QPainter& painter) = 0;

    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void followParent();
    void updateShownInParent();

    std::shared_ptr<std::recursive_mutex> lock_ = std::make_shared<std::recursive_mutex>();
    TAlign align_ = TAlign::alNone;
    QWidget* watchedParent_ = nullptr;
    std::atomic<bool> drawing_{false};
    std::atomic<bool> bufferedPaint_{false};
    std::atomic<bool> shownInParent_{false};
};
