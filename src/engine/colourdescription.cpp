#include "colourdescription.h"

extern "C" {
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {

// Taller pictures are high definition: BT.709 is what such material uses
// when it does not say.
constexpr int StandardDefinitionLines = 576;

bool isFullRangeFormat(AVPixelFormat format)
{
    switch (format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P:
        return true;
    default:
        return false;
    }
}

// Luma and chroma (or luma alone) as opposed to RGB, palette or sensor data:
// the formats whose conversion depends on a matrix and a range.
bool hasLuma(AVPixelFormat format)
{
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    if (!descriptor || format == AV_PIX_FMT_XYZ12LE || format == AV_PIX_FMT_XYZ12BE)
        return false;
    const uint64_t notLuma = AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BAYER |
                             AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_FLOAT;
    return (descriptor->flags & notLuma) == 0;
}

// The converter's coefficient table for a matrix; -1 for one it has none for.
int scalerMatrix(AVColorSpace matrix)
{
    switch (matrix) {
    case AVCOL_SPC_BT709:
        return SWS_CS_ITU709;
    case AVCOL_SPC_FCC:
        return SWS_CS_FCC;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
        return SWS_CS_ITU601;
    case AVCOL_SPC_SMPTE240M:
        return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
        return SWS_CS_BT2020;
    default:
        return -1;
    }
}

QString knownMatrixName(AVColorSpace matrix)
{
    switch (matrix) {
    case AVCOL_SPC_BT709:
        return QStringLiteral("BT.709");
    case AVCOL_SPC_FCC:
        return QStringLiteral("FCC");
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
        return QStringLiteral("BT.601");
    case AVCOL_SPC_SMPTE240M:
        return QStringLiteral("SMPTE 240M");
    case AVCOL_SPC_BT2020_NCL:
        return QStringLiteral("BT.2020 non-constant luminance");
    case AVCOL_SPC_BT2020_CL:
        return QStringLiteral("BT.2020 constant luminance");
    case AVCOL_SPC_RGB:
        return QStringLiteral("RGB");
    case AVCOL_SPC_YCGCO:
        return QStringLiteral("YCgCo");
    case AVCOL_SPC_ICTCP:
        return QStringLiteral("ICtCp");
    default: {
        const char* name = av_color_space_name(matrix);
        return name ? QString::fromLatin1(name) : QStringLiteral("unknown");
    }
    }
}

} // namespace

ColourDescription ColourDescription::ofPicture(const AVFrame* picture)
{
    return describe(picture->colorspace, picture->color_range, picture->color_primaries, picture->color_trc,
                    AVPixelFormat(picture->format), picture->height);
}

ColourDescription ColourDescription::describe(AVColorSpace matrix, AVColorRange range,
                                              AVColorPrimaries primaries,
                                              AVColorTransferCharacteristic transfer, AVPixelFormat format,
                                              int height)
{
    ColourDescription d;
    d.statedMatrix = matrix;
    if (scalerMatrix(matrix) >= 0)
        d.usedMatrix = matrix;
    else
        d.usedMatrix = height > StandardDefinitionLines ? AVCOL_SPC_BT709 : AVCOL_SPC_BT470BG;
    // A JPEG format is full range whatever the stream says.
    d.rangeStated = range == AVCOL_RANGE_MPEG || range == AVCOL_RANGE_JPEG || isFullRangeFormat(format);
    d.full = range == AVCOL_RANGE_JPEG || isFullRangeFormat(format);
    d.statedPrimaries = primaries;
    d.statedTransfer = transfer;
    return d;
}

void ColourDescription::applyTo(SwsContext* scaler, AVPixelFormat format) const
{
    if (!hasLuma(format))
        return;
    const int* coefficients = sws_getCoefficients(scalerMatrix(usedMatrix));
    // The RGB side is always full range. Brightness, contrast and saturation
    // stay neutral (16.16 fixed point).
    sws_setColorspaceDetails(scaler, coefficients, full ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0,
                             1 << 16, 1 << 16);
}

QString ColourDescription::matrixName() const
{
    if (statedMatrix == usedMatrix)
        return knownMatrixName(usedMatrix);
    if (statedMatrix == AVCOL_SPC_UNSPECIFIED || statedMatrix == AVCOL_SPC_RESERVED)
        return QStringLiteral("%1 (not stated, assumed)").arg(knownMatrixName(usedMatrix));
    return QStringLiteral("%1 (not supported, %2 used)")
        .arg(knownMatrixName(statedMatrix), knownMatrixName(usedMatrix));
}

QString ColourDescription::rangeName() const
{
    const QString name = full ? QStringLiteral("Full (0-255)") : QStringLiteral("Limited (16-235)");
    return rangeStated ? name : name + QStringLiteral(" (not stated, assumed)");
}

QString ColourDescription::primariesName() const
{
    switch (statedPrimaries) {
    case AVCOL_PRI_UNSPECIFIED:
    case AVCOL_PRI_RESERVED0:
    case AVCOL_PRI_RESERVED:
        return QStringLiteral("Not stated");
    case AVCOL_PRI_BT709:
        return QStringLiteral("BT.709");
    case AVCOL_PRI_BT470M:
        return QStringLiteral("BT.470 M");
    case AVCOL_PRI_BT470BG:
        return QStringLiteral("BT.601 625 lines (BT.470 BG)");
    case AVCOL_PRI_SMPTE170M:
        return QStringLiteral("BT.601 525 lines (SMPTE 170M)");
    case AVCOL_PRI_SMPTE240M:
        return QStringLiteral("SMPTE 240M");
    case AVCOL_PRI_BT2020:
        return QStringLiteral("BT.2020");
    case AVCOL_PRI_SMPTE431:
        return QStringLiteral("DCI-P3 (SMPTE 431)");
    case AVCOL_PRI_SMPTE432:
        return QStringLiteral("Display P3 (SMPTE 432)");
    default: {
        const char* name = av_color_primaries_name(statedPrimaries);
        return name ? QString::fromLatin1(name) : QStringLiteral("unknown");
    }
    }
}

QString ColourDescription::transferName() const
{
    switch (statedTransfer) {
    case AVCOL_TRC_UNSPECIFIED:
    case AVCOL_TRC_RESERVED0:
    case AVCOL_TRC_RESERVED:
        return QStringLiteral("Not stated");
    case AVCOL_TRC_BT709:
        return QStringLiteral("BT.709");
    case AVCOL_TRC_SMPTE170M:
        return QStringLiteral("BT.601 (SMPTE 170M)");
    case AVCOL_TRC_GAMMA22:
        return QStringLiteral("Gamma 2.2");
    case AVCOL_TRC_GAMMA28:
        return QStringLiteral("Gamma 2.8");
    case AVCOL_TRC_LINEAR:
        return QStringLiteral("Linear");
    case AVCOL_TRC_IEC61966_2_1:
        return QStringLiteral("sRGB");
    case AVCOL_TRC_BT2020_10:
        return QStringLiteral("BT.2020 10-bit");
    case AVCOL_TRC_BT2020_12:
        return QStringLiteral("BT.2020 12-bit");
    case AVCOL_TRC_SMPTE2084:
        return QStringLiteral("PQ (SMPTE 2084)");
    case AVCOL_TRC_ARIB_STD_B67:
        return QStringLiteral("HLG (ARIB STD-B67)");
    default: {
        const char* name = av_color_transfer_name(statedTransfer);
        return name ? QString::fromLatin1(name) : QStringLiteral("unknown");
    }
    }
}

bool ColourDescription::operator==(const ColourDescription& other) const
{
    return usedMatrix == other.usedMatrix && statedMatrix == other.statedMatrix && full == other.full &&
           rangeStated == other.rangeStated && statedPrimaries == other.statedPrimaries &&
           statedTransfer == other.statedTransfer;
}
