#pragma once
// Design data of the main window: caption labels, the value labels' and the
// shared controls' places on both pages, fonts and sizes. The window and the artwork tools
// read the same data, so the pictures always fit the labels.
// Thread: the user-interface thread (fonts need a QGuiApplication).

#include "platform/Colors.h"

#include <QFont>
#include <QRect>
#include <QString>
#include <vector>

namespace layout {

constexpr int ClientWidth = 952;
constexpr int ClientHeight = 790;
constexpr int BlockPictureWidth = 946;
constexpr int BlockPictureHeight = 763;
constexpr int BcrPictureWidth = 944;
constexpr int BcrPictureHeight = 763;
constexpr int WaveStripWidth = 1952;
constexpr int WaveStripHeight = 136;
constexpr int WaveGlyphs = 16;
constexpr int DonateWidth = 98;
constexpr int DonateHeight = 33;
constexpr int ValueLabelHeight = 20;
constexpr int CaptionLabelHeight = 16;

// "MS Sans Serif" at the window's pixel sizes, on a face every Debian desktop has.
QFont BaseFont();          // 11 px
QFont PageFont();          // bold 13 px
QFont ValueLabelFont();    // bold 16 px
QFont CaptionLabelFont();  // bold 13 px
QFont ButtonFont();        // 13 px

struct TCaptionLabel {
    QString Name;        // "Label43", or "lCap" + the value label's name
    QString Caption;     // exactly as shown, blanks included
    QString ValueLabel;  // the value label it names; empty for section headers
    int Left = 0;        // fixed for headers; for the others computed from the
    int Top = 0;         // value label's place and the caption's width
    TColor FontColor = clBlack;
    TColor Background = clWhite;
};

// The 59 caption labels of the block-diagram page, positions resolved with
// the caption font's metrics.
const std::vector<TCaptionLabel> &CaptionLabels();

// Width of a label's text in its font, as the self-sizing label takes it.
int TextWidth(const QFont &font, const QString &text);

// Rectangle of a value label at its block-diagram place showing text.
QRect ValueLabelRect(int left, int top, const QString &text);

struct TSharedControl {
    const char *Name;
    int DiagLeft, DiagTop;  // block-diagram page (design position)
    int BcrLeft, BcrTop;    // controller page
    int Width, Height;
};

// gOsc1, gOsc2, VCFadsr, VCAadsr, bGetPatch, bMidiSetup, sbDonate.
const std::vector<TSharedControl> &SharedControls();
const TSharedControl &SharedControl(const char *name);

} // namespace layout

// Design data of one parameter row, as the window and the artwork need it:
// where its value label sits on each page (its captions are the
// synthesizer's: dw::ParamCaption).
struct TParamDesign {
    const char *LabelName;  // "lEnc44", "lBtn29", or "" for none
    int DiagLeft, DiagTop;  // label position on the block-diagram page
    int BcrLeft, BcrTop;    // label position on the controller page
};

// Design data of row `row` (0..50).
const TParamDesign &ParamDesign(int row);
