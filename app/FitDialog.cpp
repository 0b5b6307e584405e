#include "FitDialog.h"

#include "Fonts.h"
#include "TGIFAnimator.h"
#include "WaitCursor.h"

#include <QCheckBox>
#include <QEventLoop>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QSpinBox>
#include <algorithm>
#include <cmath>
#include <exception>

namespace {

constexpr int kClientWidth = 600;
constexpr int kClientHeight = 326;
constexpr int kBoxTop = 24;
constexpr int kBoxWidth = 288;
constexpr int kBoxHeight = 200;

QLabel* makeLabel(QWidget* parent, const QString& text, int x, int y, int width) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(x, y, width, 16);
    return label;
}

QSpinBox* makeSpin(QWidget* parent, const char* name, int minimum, int maximum, int x, int y) {
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(name);
    spin->setRange(minimum, maximum);
    spin->setGeometry(x, y, 60, 21);
    return spin;
}

QFrame* makeBox(QWidget* parent, int x) {
    auto* box = new QFrame(parent);
    box->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    box->setGeometry(x, kBoxTop, kBoxWidth, kBoxHeight);
    return box;
}

// The first frame as Qt paints it, no larger than box.
QPixmap preview(const FitSource& source, QSize box) {
    if (source.frames.empty())
        return {};
    const RgbaImage& frame = source.frames.front();
    const QImage image = QImage(frame.rgba.data(), frame.width, frame.height, frame.width * 4,
                                QImage::Format_RGBA8888)
                             .copy(); // the frame's bytes stay the worker's to read
    if (image.width() <= box.width() && image.height() <= box.height())
        return QPixmap::fromImage(image);
    return QPixmap::fromImage(image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

} // namespace

FitOptions FitDialog::options(const Choices& choices, int32_t capacity) {
    FitOptions options;
    options.byteBudget = static_cast<size_t>(std::max<int32_t>(capacity, 0));
    options.targetWidth = std::max(choices.width, 0);
    options.targetHeight = std::max(choices.height, 0);
    options.maxColors = std::clamp(choices.colors, 2, 256);
    options.allowDither = choices.dither;
    options.allowFrameDrop = choices.dropFrames;
    return options;
}

QString FitDialog::summary(const FitResult& result, int32_t capacity) {
    const QString size =
        result.fits
            ? QString("%1 of %2 bytes").arg(result.bytes.size()).arg(capacity)
            : QString("%1 bytes, more than the %2 the section holds").arg(result.bytes.size()).arg(capacity);
    return size + ": " + PictureFile::fitSummary(result);
}

int FitDialog::keptSide(int side, int sourceSide, int sourceOtherSide) {
    if (sourceSide <= 0)
        return 1;
    return std::max(1,
                    static_cast<int>(std::lround(static_cast<double>(side) * sourceOtherSide / sourceSide)));
}

PictureLoad FitDialog::readPicture(const QString& path) {
    const WaitCursor busy;
    PictureLoad picture;
    QEventLoop loop;
    // The quit is queued: one posted before the loop runs still ends it.
    std::thread reader([&] {
        try {
            picture = PictureFile::load(path);
        } catch (const std::exception& e) { // memory for its frames, above all
            picture.error = QString::fromUtf8(e.what());
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    reader.join();
    return picture;
}

FitDialog::FitDialog(FitSource source, int32_t capacity, QSettings* settings, QWidget* parent)
    : QDialog(parent), source_(std::move(source)), capacity_(capacity), settings_(settings) {
    setObjectName("FitDialog");
    setWindowTitle("Fit to section");
    setModal(true);
    setFont(Fonts::tahoma());
    setFixedSize(kClientWidth, kClientHeight);

    Choices last;
    if (settings_) {
        settings_->beginGroup("Fit");
        last.colors = std::clamp(settings_->value("Colors", last.colors).toInt(), 2, 256);
        last.dither = settings_->value("Dither", last.dither).toBool();
        last.dropFrames = settings_->value("DropFrames", last.dropFrames).toBool();
        settings_->endGroup();
    }
    const int sourceWidth = source_.frames.empty() ? 1 : std::max(source_.frames.front().width, 1);
    const int sourceHeight = source_.frames.empty() ? 1 : std::max(source_.frames.front().height, 1);

    makeLabel(this, "Picture", 8, 6, kBoxWidth);
    makeLabel(this, "Result", 304, 6, kBoxWidth);
    QFrame* pictureBox = makeBox(this, 8);
    picture_ = new QLabel(pictureBox);
    picture_->setObjectName("Picture");
    picture_->setAlignment(Qt::AlignCenter);
    picture_->setGeometry(2, 2, kBoxWidth - 4, kBoxHeight - 4);
    picture_->setPixmap(preview(source_, picture_->size()));
    QFrame* resultBox = makeBox(this, 304);
    animator_ = new TGIFAnimator(resultBox);
    animator_->setObjectName("Result");
    animator_->setGeometry(2, 2, kBoxWidth - 4, kBoxHeight - 4);
    animator_->setAutoSize(false); // the box keeps its size, the result shows in its middle
    animator_->setCenter(true);
    animator_->setAnimate(true);

    summary_ = makeLabel(this, {}, 8, 232, kClientWidth - 16);
    summary_->setObjectName("Summary");

    makeLabel(this, "Width:", 8, 261, 40);
    width_ = makeSpin(this, "Width", 1, sourceWidth, 50, 258);
    width_->setValue(sourceWidth);
    makeLabel(this, "Height:", 118, 261, 40);
    height_ = makeSpin(this, "Height", 1, sourceHeight, 160, 258);
    height_->setValue(sourceHeight);
    makeLabel(this, "Colours:", 228, 261, 44);
    colors_ = makeSpin(this, "Colors", 2, 256, 274, 258);
    colors_->setValue(last.colors);
    dither_ = new QCheckBox("Dithering", this);
    dither_->setObjectName("Dithering");
    dither_->setGeometry(344, 260, 80, 17);
    dither_->setChecked(last.dither);
    drop_ = new QCheckBox("Drop frames if need be", this);
    drop_->setObjectName("DropFrames");
    drop_->setGeometry(428, 260, 164, 17);
    drop_->setChecked(last.dropFrames);
    drop_->setEnabled(source_.frames.size() > 1); // a still picture has none to drop

    auto* bevel = new QFrame(this);
    bevel->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    bevel->setGeometry(0, kClientHeight - 37, kClientWidth, 2);
    upload_ = new QPushButton("Upload", this);
    upload_->setObjectName("Upload");
    upload_->setGeometry(kClientWidth - 166, kClientHeight - 29, 75, 23);
    upload_->setDefault(true);
    upload_->setEnabled(false);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("Cancel");
    cancel->setGeometry(kClientWidth - 83, kClientHeight - 29, 75, 23);

    connect(width_, &QSpinBox::valueChanged, this, &FitDialog::widthChanged);
    connect(height_, &QSpinBox::valueChanged, this, &FitDialog::heightChanged);
    connect(colors_, &QSpinBox::valueChanged, this, &FitDialog::refit);
    connect(dither_, &QCheckBox::toggled, this, &FitDialog::refit);
    connect(drop_, &QCheckBox::toggled, this, &FitDialog::refit);
    connect(upload_, &QPushButton::clicked, this, [this] {
        remember();
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    worker_ = std::thread([this] { work(); });
    refit();
}

FitDialog::~FitDialog() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        pending_.reset();
        abandon_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

FitDialog::Choices FitDialog::choices() const {
    return {width_->value(), height_->value(), colors_->value(), dither_->isChecked(), drop_->isChecked()};
}

void FitDialog::widthChanged(int width) {
    const QSignalBlocker block(height_);
    height_->setValue(keptSide(width, width_->maximum(), height_->maximum()));
    refit();
}

void FitDialog::heightChanged(int height) {
    const QSignalBlocker block(width_);
    width_->setValue(keptSide(height, height_->maximum(), width_->maximum()));
    refit();
}

void FitDialog::refit() {
    Request request{++requestedSerial_, options(choices(), capacity_)};
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        pending_ = std::move(request); // an older request not yet started is dropped
        abandon_ = true;               // and one under way stops at its next trial
    }
    wake_.notify_one();
    upload_->setEnabled(false);
    summary_->setText(QString("Fitting") + QChar(0x2026));
}

void FitDialog::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || pending_.has_value(); });
        if (stop_)
            return;
        Request request = *pending_;
        pending_.reset();
        abandon_ = false;
        lock.unlock();
        request.options.cancelled = [this] { return abandon_.load(); };
        FitResult result;
        QString failure;
        try {
            result = fitGif(source_, request.options);
        } catch (const std::exception& e) {
            failure = QString("The picture cannot be fitted (%1).").arg(QString::fromUtf8(e.what()));
        }
        lock.lock();
        if (result.cancelled)
            continue;
        // Posted under the lock, so none is posted once the destructor has set stop_; one posted before
        // is dropped with the dialog.
        if (stop_)
            return;
        QMetaObject::invokeMethod(
            this, [this, serial = request.serial, result, failure] { showResult(serial, result, failure); },
            Qt::QueuedConnection);
    }
}

void FitDialog::showResult(uint64_t serial, const FitResult& result, const QString& failure) {
    if (serial != requestedSerial_)
        return; // a newer request is on its way
    shownSerial_ = serial;
    ++resultsShown_;
    result_.reset();
    if (failure.isEmpty()) {
        try {
            animator_->loadImageFromBytes(result.bytes.data(), result.bytes.size());
            placeResult(result.width, result.height);
            result_ = result;
        } catch (const std::exception& e) {
            summary_->setText(QString("The result cannot be shown (%1).").arg(QString::fromUtf8(e.what())));
        }
    } else {
        summary_->setText(failure);
    }
    if (result_)
        summary_->setText(summary(*result_, capacity_));
    upload_->setEnabled(result_ && result_->fits);
    emit resultShown();
}

// At its real size in the middle of the box, as the phone shows it; one larger than the box is shown
// smaller, its aspect kept, rather than cut.
void FitDialog::placeResult(int width, int height) {
    const QRect box(2, 2, kBoxWidth - 4, kBoxHeight - 4);
    const bool larger = width > box.width() || height > box.height();
    QSize shown = box.size();
    if (larger)
        shown = QSize(width, height).scaled(box.size(), Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    animator_->setStretch(larger);
    animator_->setGeometry(
        QRect(box.topLeft() + QPoint((box.width() - shown.width()) / 2, (box.height() - shown.height()) / 2),
              shown));
}

void FitDialog::remember() {
    if (!settings_)
        return;
    const Choices chosen = choices();
    settings_->beginGroup("Fit");
    settings_->setValue("Colors", chosen.colors);
    settings_->setValue("Dither", chosen.dither);
    settings_->setValue("DropFrames", chosen.dropFrames);
    settings_->endGroup();
}
