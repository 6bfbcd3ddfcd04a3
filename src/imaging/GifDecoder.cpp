#include "imaging/GifDecoder.h"

#include "imaging/FrameDecoder.h"

#include <QFile>

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace velloq::GifDecoder {
namespace {

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

int readFromFile(GifFileType* gif, GifByteType* buffer, int length) {
    auto* file = static_cast<QFile*>(gif->UserData);
    const qint64 got = file->read(reinterpret_cast<char*>(buffer), length);
    return got < 0 ? 0 : static_cast<int>(got);
}

GifHandle openAtStart(QFile& file) {
    if (!file.seek(0))
        return nullptr;
    int error = 0;
    return GifHandle(DGifOpen(&file, readFromFile, &error));
}

// The graphic control block that applies to the next image.
struct Control {
    int disposal = DISPOSAL_UNSPECIFIED;
    int transparent = NO_TRANSPARENT_COLOR;
    int delayMs = -1;
};

// Reads one extension and its sub-blocks, keeping a graphic control block's values. Blocks
// longer than the standard four bytes are read as the delay scanner reads them.
bool readExtension(GifFileType* gif, Control& control) {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR)
        return false;
    if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
        const GifByteType packed = block[1];
        control.disposal = (packed >> 2) & 0x07;
        control.transparent = (packed & 0x01) ? block[4] : NO_TRANSPARENT_COLOR;
        control.delayMs = 10 * (block[2] | (block[3] << 8));
    }
    while (block != nullptr) {
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR)
            return false;
    }
    return true;
}

// Steps over an image's compressed data without decoding it.
bool skipImageData(GifFileType* gif) {
    int codeSize = 0;
    GifByteType* block = nullptr;
    if (DGifGetCode(gif, &codeSize, &block) == GIF_ERROR)
        return false;
    while (block != nullptr) {
        if (DGifGetCodeNext(gif, &block) == GIF_ERROR)
            return false;
    }
    return true;
}

// The file opened again and positioned after its first `images` images: the way on after an
// image whose data broke off somewhere in the middle.
GifHandle reopenAfter(QFile& file, int images) {
    GifHandle gif = openAtStart(file);
    Control ignored;
    for (int seen = 0; gif && seen < images;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR)
            return nullptr;
        if (type == EXTENSION_RECORD_TYPE) {
            if (!readExtension(gif.get(), ignored))
                return nullptr;
        } else if (type == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif.get()) == GIF_ERROR || !skipImageData(gif.get()))
                return nullptr;
            ++seen;
        } else {
            return nullptr;
        }
    }
    return gif;
}

// The animation's canvas. At full size each image's pixels are written straight onto it.
// Reduced, each source pixel lands in the canvas pixel its position scales to; a canvas
// pixel takes the average of the source pixels that land in it, with the transparent ones
// showing what the canvas held before.
class Composer {
public:
    Composer(QSize screen, QSize size)
        : screen_(screen)
        , canvas_(size, QImage::Format_ARGB32_Premultiplied)
        , direct_(size == screen)
        , boxWidth_(static_cast<size_t>(size.width()))
        , boxHeight_(static_cast<size_t>(size.height())) {
        canvas_.fill(0);
        for (int x = 0; x < screen.width(); ++x)
            ++boxWidth_[static_cast<size_t>(column(x))];
        for (int y = 0; y < screen.height(); ++y)
            ++boxHeight_[static_cast<size_t>(row(y))];
    }

    bool isNull() const { return canvas_.isNull(); }
    const QImage& image() const { return canvas_; }

    // Starts an image: its rectangle cut to the screen, its colours, and what its disposal
    // or a failure to decode it will need to undo it.
    void begin(const GifImageDesc& desc, const ColorMapObject& map, int transparent, int disposal) {
        left_ = desc.Left;
        top_ = desc.Top;
        x0_ = std::min(desc.Left, screen_.width());
        x1_ = std::min(desc.Left + desc.Width, screen_.width());
        y0_ = std::min(desc.Top, screen_.height());
        y1_ = std::min(desc.Top + desc.Height, screen_.height());
        empty_ = x0_ >= x1_ || y0_ >= y1_;
        colors_.fill(0); // transparent, and what indexes past the table mean
        for (int i = 0; i < std::min(map.ColorCount, 256); ++i) {
            if (i != transparent)
                colors_[static_cast<size_t>(i)] =
                    qRgb(map.Colors[i].Red, map.Colors[i].Green, map.Colors[i].Blue);
        }
        previous_ = QImage();
        if (empty_)
            return;
        dx0_ = column(x0_);
        dy0_ = row(y0_);
        width_ = column(x1_ - 1) - dx0_ + 1;
        height_ = row(y1_ - 1) - dy0_ + 1;
        if (direct_) {
            previous_ = canvas_.copy(dx0_, dy0_, width_, height_);
            return;
        }
        if (disposal == DISPOSE_PREVIOUS)
            previous_ = canvas_.copy(dx0_, dy0_, width_, height_);
        columnOf_.resize(static_cast<size_t>(x1_ - x0_));
        coverWidth_.assign(static_cast<size_t>(width_), 0);
        for (int x = x0_; x < x1_; ++x) {
            const int c = column(x) - dx0_;
            columnOf_[static_cast<size_t>(x - x0_)] = c;
            ++coverWidth_[static_cast<size_t>(c)];
        }
        coverHeight_.assign(static_cast<size_t>(height_), 0);
        for (int y = y0_; y < y1_; ++y)
            ++coverHeight_[static_cast<size_t>(row(y) - dy0_)];
        sums_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_), Sum{});
    }

    // Adds row `y` of the image (counted from its top) in palette indexes.
    void addLine(int y, const GifByteType* line) {
        const int screenY = top_ + y;
        if (empty_ || screenY < y0_ || screenY >= y1_)
            return;
        const GifByteType* pixels = line + (x0_ - left_);
        const int count = x1_ - x0_;
        if (direct_) {
            auto* out = reinterpret_cast<QRgb*>(canvas_.scanLine(screenY)) + x0_;
            for (int x = 0; x < count; ++x) {
                const QRgb color = colors_[pixels[x]];
                if (qAlpha(color) != 0)
                    out[x] = color;
            }
            return;
        }
        Sum* sums = &sums_[static_cast<size_t>(row(screenY) - dy0_) * static_cast<size_t>(width_)];
        for (int x = 0; x < count; ++x) {
            const QRgb color = colors_[pixels[x]];
            if (qAlpha(color) == 0)
                continue;
            Sum& sum = sums[columnOf_[static_cast<size_t>(x)]];
            sum.red += qRed(color);
            sum.green += qGreen(color);
            sum.blue += qBlue(color);
            ++sum.opaque;
        }
    }

    // Gives up the image: the canvas is left as it was before it.
    void abandon() {
        if (direct_ && !previous_.isNull())
            restorePrevious();
    }

    // Puts the finished image on the canvas.
    void compose() {
        if (direct_ || empty_)
            return;
        forEachPixel([&](QRgb& pixel, const Sum& sum, uint64_t box, uint64_t) {
            if (sum.opaque == 0)
                return;
            const uint64_t keep = box - sum.opaque;
            auto mix = [&](uint64_t added, int old) {
                return static_cast<int>((added + keep * static_cast<uint64_t>(old) + box / 2) /
                                        box);
            };
            pixel =
                qRgba(mix(sum.red, qRed(pixel)), mix(sum.green, qGreen(pixel)),
                      mix(sum.blue, qBlue(pixel)), mix(uint64_t{255} * sum.opaque, qAlpha(pixel)));
        });
    }

    // Leaves the canvas as the image's disposal method asks before the next image.
    void dispose(int disposal) {
        if (empty_)
            return;
        if (disposal == DISPOSE_PREVIOUS) {
            restorePrevious();
            return;
        }
        if (disposal != DISPOSE_BACKGROUND)
            return;
        // Back to transparent, as browsers do; reduced, in proportion to the part covered.
        if (direct_) {
            for (int y = y0_; y < y1_; ++y)
                std::fill_n(reinterpret_cast<QRgb*>(canvas_.scanLine(y)) + x0_, x1_ - x0_, 0u);
            return;
        }
        forEachPixel([&](QRgb& pixel, const Sum&, uint64_t box, uint64_t covered) {
            const uint64_t keep = box - covered;
            auto scale = [&](int old) {
                return static_cast<int>((keep * static_cast<uint64_t>(old) + box / 2) / box);
            };
            pixel = qRgba(scale(qRed(pixel)), scale(qGreen(pixel)), scale(qBlue(pixel)),
                          scale(qAlpha(pixel)));
        });
    }

private:
    struct Sum {
        uint64_t red = 0;
        uint64_t green = 0;
        uint64_t blue = 0;
        uint32_t opaque = 0;
    };

    int column(int x) const {
        return static_cast<int>(int64_t{x} * canvas_.width() / screen_.width());
    }
    int row(int y) const {
        return static_cast<int>(int64_t{y} * canvas_.height() / screen_.height());
    }

    void restorePrevious() {
        if (previous_.isNull())
            return;
        for (int y = 0; y < height_; ++y)
            std::copy_n(reinterpret_cast<const QRgb*>(previous_.constScanLine(y)), width_,
                        reinterpret_cast<QRgb*>(canvas_.scanLine(dy0_ + y)) + dx0_);
    }

    // Calls `visit(pixel, sum, box, covered)` for every canvas pixel the image touches.
    template <typename Visit> void forEachPixel(Visit visit) {
        for (int y = 0; y < height_; ++y) {
            auto* line = reinterpret_cast<QRgb*>(canvas_.scanLine(dy0_ + y));
            const uint64_t boxHeight = boxHeight_[static_cast<size_t>(dy0_ + y)];
            for (int x = 0; x < width_; ++x) {
                const auto at =
                    static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x);
                const uint64_t box = boxWidth_[static_cast<size_t>(dx0_ + x)] * boxHeight;
                const uint64_t covered = uint64_t{coverWidth_[static_cast<size_t>(x)]} *
                                         coverHeight_[static_cast<size_t>(y)];
                visit(line[dx0_ + x], sums_[at], box, covered);
            }
        }
    }

    QSize screen_;
    QImage canvas_;
    bool direct_;
    std::vector<uint64_t> boxWidth_;
    std::vector<uint64_t> boxHeight_;
    // The current image.
    std::array<QRgb, 256> colors_{};
    QImage previous_; // the part of the canvas it covers, as it was before
    int left_ = 0;
    int top_ = 0;
    int x0_ = 0;
    int x1_ = 0;
    int y0_ = 0;
    int y1_ = 0;
    int dx0_ = 0;
    int dy0_ = 0;
    int width_ = 0;
    int height_ = 0;
    bool empty_ = true;
    std::vector<int> columnOf_;
    std::vector<uint32_t> coverWidth_;
    std::vector<uint32_t> coverHeight_;
    std::vector<Sum> sums_;
};

// Reads an image's rows, in the order an interlaced image stores them, into the canvas.
bool readRows(GifFileType* gif, const GifImageDesc& desc, Composer& composer,
              std::vector<GifByteType>& line) {
    line.resize(static_cast<size_t>(desc.Width));
    auto readRow = [&](int y) {
        if (DGifGetLine(gif, line.data(), desc.Width) == GIF_ERROR)
            return false;
        composer.addLine(y, line.data());
        return true;
    };
    if (!desc.Interlace) {
        for (int y = 0; y < desc.Height; ++y) {
            if (!readRow(y))
                return false;
        }
        return true;
    }
    static constexpr int kStart[] = {0, 4, 2, 1};
    static constexpr int kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        for (int y = kStart[pass]; y < desc.Height; y += kStep[pass]) {
            if (!readRow(y))
                return false;
        }
    }
    return true;
}

} // namespace

bool isGif(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(4) == "GIF8";
}

bool decode(const QString& path, int maxPixelSize, int maxImages, const FrameCallback& each) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    GifHandle gif = openAtStart(file);
    if (!gif)
        return false;

    std::unique_ptr<Composer> composer;
    std::vector<GifByteType> line;
    Control control;
    int images = 0;
    while (gif && images < maxImages) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR || type == TERMINATE_RECORD_TYPE)
            break;
        if (type == EXTENSION_RECORD_TYPE) {
            if (!readExtension(gif.get(), control))
                break;
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE || DGifGetImageDesc(gif.get()) == GIF_ERROR)
            break;
        const GifImageDesc desc = gif->Image;
        const Control used = std::exchange(control, Control{});
        const int index = images++;
        if (!composer) {
            // A screen of no size takes the first image's.
            QSize screen(gif->SWidth, gif->SHeight);
            if (screen.isEmpty())
                screen = QSize(desc.Left + desc.Width, desc.Top + desc.Height).expandedTo({1, 1});
            composer =
                std::make_unique<Composer>(screen, FrameDecoder::limitedSize(screen, maxPixelSize));
            if (composer->isNull())
                return false;
        }
        const ColorMapObject* map = desc.ColorMap != nullptr ? desc.ColorMap : gif->SColorMap;
        if (desc.Width <= 0 || desc.Height <= 0 || map == nullptr) {
            // Nothing to draw, or no colours to draw it with: the image counts, unshown.
            if (!skipImageData(gif.get()))
                break;
            continue;
        }
        composer->begin(desc, *map, used.transparent, used.disposal);
        if (!readRows(gif.get(), desc, *composer, line)) {
            // Skipped; the canvas stays as it was before this image.
            composer->abandon();
            gif = reopenAfter(file, images);
            continue;
        }
        composer->compose();
        each(composer->image(), index, used.delayMs);
        composer->dispose(used.disposal);
    }
    return composer != nullptr;
}

} // namespace velloq::GifDecoder
