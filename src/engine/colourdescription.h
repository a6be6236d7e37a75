#pragma once

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <QString>

struct SwsContext;

// How the YUV values of a picture are meant to be turned into RGB (the matrix
// and the range), and for information what the picture was made for (the
// primaries and the transfer characteristics, which are shown but not
// converted).
//
// What a stream leaves unstated is assumed as players and broadcast practice
// do: the BT.709 matrix for pictures taller than 576 lines and BT.601 for
// smaller ones; limited range unless the pixel format is a full-range (JPEG)
// one. A stated matrix the converter cannot apply is treated as unstated.
class ColourDescription
{
public:
    ColourDescription() = default;

    // From the decoded picture: what its bitstream or container states.
    static ColourDescription ofPicture(const AVFrame* picture);
    static ColourDescription describe(AVColorSpace matrix, AVColorRange range, AVColorPrimaries primaries,
                                      AVColorTransferCharacteristic transfer, AVPixelFormat format,
                                      int height);

    // Gives the scaler the matrix and range for a source of `format` (RGB
    // sources need neither).
    void applyTo(SwsContext* scaler, AVPixelFormat format) const;

    AVColorSpace matrix() const { return usedMatrix; }
    bool fullRange() const { return full; }
    AVColorPrimaries primaries() const { return statedPrimaries; }
    AVColorTransferCharacteristic transfer() const { return statedTransfer; }

    // Names for the media information, saying where a value was assumed.
    QString matrixName() const;
    QString rangeName() const;
    QString primariesName() const;
    QString transferName() const;

    bool operator==(const ColourDescription& other) const;
    bool operator!=(const ColourDescription& other) const { return !(*this == other); }

private:
    // The matrix the converter uses (always one it supports) and what the
    // stream said, which may be unstated or one it does not support.
    AVColorSpace usedMatrix = AVCOL_SPC_BT470BG;
    AVColorSpace statedMatrix = AVCOL_SPC_UNSPECIFIED;
    bool full = false;
    bool rangeStated = false;
    AVColorPrimaries statedPrimaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic statedTransfer = AVCOL_TRC_UNSPECIFIED;
};
