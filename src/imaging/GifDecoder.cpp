#include "imaging/GifDecoder.h"

#include "imaging/FrameDecoder.h"

#include <QFile>

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
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

int readFromDevice(GifFileType* gif, GifByteType* buffer, int length) {
    auto* device = static_cast<QIODevice*>(gif->UserData);
    const qint64 got = device->read(reinterpret_cast<char*>(buffer), length);
    return got < 0 ? 0 : static_cast<int>(got);
}

GifHandle openAtStart(QIODevice& file) {
    if (!file.seek(0))
        return nullptr;
    int error = 0;
    return GifHandle(DGifOpen(&file, readFromDevice, &error));
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

// Decodes an image's LZW codes from the sub-blocks giflib hands out. giflib's own line
// decoding walks every code's string twice and pops it off a stack; here each string is
// written backwards straight into the output, and the table keeps every entry's first pixel
// and length so a new entry costs nothing to add.
class LzwDecoder {
public:
    // Starts on the image giflib has just read the descriptor of.
    bool start(GifFileType* gif) {
        gif_ = gif;
        int codeSize = 0;
        if (DGifGetCode(gif, &codeSize, &block_) == GIF_ERROR || codeSize < 1 || codeSize > 8)
            return false;
        at_ = 1;
        bits_ = 0;
        bitCount_ = 0;
        pendingAt_ = pendingEnd_ = 0;
        clear_ = 1 << codeSize;
        for (int code = 0; code < clear_; ++code) {
            suffix_[static_cast<size_t>(code)] = static_cast<GifByteType>(code);
            first_[static_cast<size_t>(code)] = static_cast<GifByteType>(code);
            length_[static_cast<size_t>(code)] = 1;
        }
        reset();
        return true;
    }

    // Fills `count` pixels; false when the data is broken or ends first.
    bool read(GifByteType* out, size_t count) {
        size_t done = std::min(count, pendingEnd_ - pendingAt_);
        std::memcpy(out, pending_.data() + pendingAt_, done);
        pendingAt_ += done;
        while (done < count) {
            int code = 0;
            if (!nextCode(code))
                return false;
            if (code == clear_) {
                reset();
                continue;
            }
            if (code == clear_ + 1 || code > next_)
                return false; // the end before the last pixel, or a code not yet defined
            if (previous_ >= 0) {
                if (next_ < kTableSize) {
                    const auto entry = static_cast<size_t>(next_);
                    const auto before = static_cast<size_t>(previous_);
                    prefix_[entry] = static_cast<uint16_t>(previous_);
                    suffix_[entry] = first_[code == next_ ? before : static_cast<size_t>(code)];
                    first_[entry] = first_[before];
                    length_[entry] = static_cast<uint16_t>(length_[before] + 1);
                    ++next_;
                }
            } else if (code >= clear_) {
                return false; // the first code after a clear must be a pixel
            }
            // Wider codes once the table outgrows them (checked after the first code too,
            // which matters for one-bit images, as giflib and its encoder count).
            if (next_ >= 1 << codeSize_ && codeSize_ < 12)
                ++codeSize_;
            previous_ = code;
            const size_t length = length_[static_cast<size_t>(code)];
            if (length <= count - done) {
                writeString(code, out + done, length);
                done += length;
            } else {
                // Runs past the end of this line: the rest waits for the next.
                writeString(code, pending_.data(), length);
                pendingAt_ = count - done;
                pendingEnd_ = length;
                std::memcpy(out + done, pending_.data(), pendingAt_);
                done = count;
            }
        }
        return true;
    }

    // Steps over what follows the last pixel, up to the image's end.
    bool finish() {
        while (block_ != nullptr) {
            if (DGifGetCodeNext(gif_, &block_) == GIF_ERROR)
                return false;
        }
        return true;
    }

private:
    static constexpr int kTableSize = 4096;

    void reset() {
        codeSize_ = 1;
        while ((1 << codeSize_) <= clear_)
            ++codeSize_;
        next_ = clear_ + 2;
        previous_ = -1;
    }

    bool nextCode(int& code) {
        while (bitCount_ < codeSize_) {
            while (block_ != nullptr && at_ > block_[0]) {
                if (DGifGetCodeNext(gif_, &block_) == GIF_ERROR)
                    return false;
                at_ = 1;
            }
            if (block_ == nullptr)
                return false;
            bits_ |= static_cast<uint32_t>(block_[at_++]) << bitCount_;
            bitCount_ += 8;
        }
        code = static_cast<int>(bits_ & ((1u << codeSize_) - 1));
        bits_ >>= codeSize_;
        bitCount_ -= codeSize_;
        return true;
    }

    void writeString(int code, GifByteType* out, size_t length) const {
        auto at = static_cast<size_t>(code);
        for (size_t i = length - 1; i > 0; --i) {
            out[i] = suffix_[at];
            at = prefix_[at];
        }
        out[0] = static_cast<GifByteType>(at);
    }

    GifFileType* gif_ = nullptr;
    GifByteType* block_ = nullptr; // [0] is its length
    int at_ = 1;
    uint32_t bits_ = 0;
    int bitCount_ = 0;
    int clear_ = 0;
    int codeSize_ = 0;
    int next_ = 0;
    int previous_ = -1;
    std::array<uint16_t, kTableSize> prefix_{};
    std::array<GifByteType, kTableSize> suffix_{};
    std::array<GifByteType, kTableSize> first_{};
    std::array<uint16_t, kTableSize> length_{};
    std::array<GifByteType, kTableSize> pending_{};
    size_t pendingAt_ = 0;
    size_t pendingEnd_ = 0;
};

// The file opened again and positioned after its first `images` images: the way on after an
// image whose data broke off somewhere in the middle.
GifHandle reopenAfter(QIODevice& file, int images) {
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

// The animation's canvas. At full size an image's pixels are gathered as palette indexes and
// drawn onto it once the whole image has decoded, so a broken image leaves it untouched.
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
    // will need to undo it.
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
        if (disposal == DISPOSE_PREVIOUS)
            previous_ = canvas_.copy(dx0_, dy0_, width_, height_);
        if (direct_) {
            // No larger than the canvas: the rectangle is cut to the screen.
            indexes_.resize(static_cast<size_t>(width_) * static_cast<size_t>(height_));
            return;
        }
        // Source columns land in canvas columns in order: each canvas column takes a run.
        coverWidth_.assign(static_cast<size_t>(width_), 0);
        for (int x = x0_; x < x1_; ++x)
            ++coverWidth_[static_cast<size_t>(column(x) - dx0_)];
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
            std::memcpy(&indexes_[static_cast<size_t>(screenY - y0_) * static_cast<size_t>(count)],
                        pixels, static_cast<size_t>(count));
            return;
        }
        Sum* sums = &sums_[static_cast<size_t>(row(screenY) - dy0_) * static_cast<size_t>(width_)];
        for (int c = 0; c < width_; ++c) {
            // One canvas column's run summed in registers: transparent colours are all zero,
            // so they add nothing, and only opaque ones have the top bit set.
            uint32_t red = 0;
            uint32_t green = 0;
            uint32_t blue = 0;
            uint32_t opaque = 0;
            const GifByteType* end = pixels + coverWidth_[static_cast<size_t>(c)];
            for (; pixels < end; ++pixels) {
                const QRgb color = colors_[*pixels];
                red += qRed(color);
                green += qGreen(color);
                blue += qBlue(color);
                opaque += color >> 31;
            }
            Sum& sum = sums[c];
            sum.red += red;
            sum.green += green;
            sum.blue += blue;
            sum.opaque += opaque;
        }
    }

    // Puts the finished image on the canvas.
    void compose() {
        if (empty_)
            return;
        if (direct_) {
            uchar* bits = writableBits();
            const GifByteType* pixels = indexes_.data();
            for (int y = y0_; y < y1_; ++y) {
                auto* out = reinterpret_cast<QRgb*>(bits + y * stride_) + x0_;
                for (int x = 0; x < width_; ++x) {
                    const QRgb color = colors_[pixels[x]];
                    if (color != 0)
                        out[x] = color;
                }
                pixels += width_;
            }
            return;
        }
        forEachPixel([&](QRgb& pixel, const Sum& sum, uint64_t box, uint64_t) {
            if (sum.opaque == 0)
                return;
            const uint64_t keep = box - sum.opaque;
            const auto divisor = static_cast<double>(box);
            auto mix = [&](uint64_t added, int old) {
                return quotient(added + keep * static_cast<uint64_t>(old) + box / 2, divisor);
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
            uchar* bits = writableBits();
            for (int y = y0_; y < y1_; ++y)
                std::fill_n(reinterpret_cast<QRgb*>(bits + y * stride_) + x0_, x1_ - x0_, 0u);
            return;
        }
        forEachPixel([&](QRgb& pixel, const Sum&, uint64_t box, uint64_t covered) {
            const uint64_t keep = box - covered;
            const auto divisor = static_cast<double>(box);
            auto scale = [&](int old) {
                return quotient(keep * static_cast<uint64_t>(old) + box / 2, divisor);
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

    // A channel's whole-number quotient by a box. Floating division is several times faster
    // than a 64-bit integer one, and exact here: boxes stay below 2^32 and quotients at most
    // 255, so a quotient just below a whole number is never rounded up to it.
    static int quotient(uint64_t value, double divisor) {
        return static_cast<int>(static_cast<double>(value) / divisor);
    }

    int column(int x) const {
        return static_cast<int>(int64_t{x} * canvas_.width() / screen_.width());
    }
    int row(int y) const {
        return static_cast<int>(int64_t{y} * canvas_.height() / screen_.height());
    }

    // The canvas to draw on. While a frame handed out still shares it, it is copied into the
    // spare one (given back by the frame before, once its holder let it go) rather than
    // into a fresh allocation every frame.
    uchar* writableBits() {
        if (!canvas_.isDetached()) {
            if (!spare_.isDetached() || spare_.size() != canvas_.size())
                spare_ = QImage(canvas_.size(), canvas_.format());
            if (!spare_.isNull() && spare_.bytesPerLine() == canvas_.bytesPerLine()) {
                std::memcpy(spare_.bits(), canvas_.constBits(),
                            static_cast<size_t>(canvas_.sizeInBytes()));
                std::swap(canvas_, spare_);
            }
        }
        stride_ = canvas_.bytesPerLine();
        return canvas_.bits();
    }

    void restorePrevious() {
        if (previous_.isNull())
            return;
        uchar* bits = writableBits();
        for (int y = 0; y < height_; ++y)
            std::copy_n(reinterpret_cast<const QRgb*>(previous_.constScanLine(y)), width_,
                        reinterpret_cast<QRgb*>(bits + (dy0_ + y) * stride_) + dx0_);
    }

    // Calls `visit(pixel, sum, box, covered)` for every canvas pixel the image touches.
    template <typename Visit> void forEachPixel(Visit visit) {
        uchar* bits = writableBits();
        for (int y = 0; y < height_; ++y) {
            auto* line = reinterpret_cast<QRgb*>(bits + (dy0_ + y) * stride_);
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
    QImage spare_;
    qsizetype stride_ = 0;
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
    std::vector<GifByteType> indexes_; // at full size: the image's pixels cut to the screen
    std::vector<uint32_t> coverWidth_;
    std::vector<uint32_t> coverHeight_;
    std::vector<Sum> sums_;
};

// Reads an image's rows, in the order an interlaced image stores them, into the canvas.
bool readRows(LzwDecoder& lzw, const GifImageDesc& desc, Composer& composer,
              std::vector<GifByteType>& line) {
    line.resize(static_cast<size_t>(desc.Width));
    auto readRow = [&](int y) {
        if (!lzw.read(line.data(), line.size()))
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
    return file.open(QIODevice::ReadOnly) && decode(file, maxPixelSize, maxImages, each);
}

bool decode(QIODevice& file, int maxPixelSize, int maxImages, const FrameCallback& each) {
    GifHandle gif = openAtStart(file);
    if (!gif)
        return false;

    std::unique_ptr<Composer> composer;
    const auto lzw = std::make_unique<LzwDecoder>();
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
        if (!lzw->start(gif.get()) || !readRows(*lzw, desc, *composer, line) || !lzw->finish()) {
            // Skipped; the canvas stays as it was before this image.
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
