#pragma once
// Geometry of the generated pictures, shared by the generator and its test.
// Everything is in page coordinates: the coordinates the window gives its
// labels and controls on a page. The wallpaper panel draws the picture inside
// its one-pixel bevel, so picture pixel (0, 0) lies at page point (1, 1).
// Thread: the user-interface thread (text widths need a QGuiApplication).

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>
#include <vector>

namespace artwork {

constexpr int PictureOrigin = 1; // page coordinate of picture pixel (0, 0)

// The widest text a value label can ever show: its design caption, every
// name of its list and the numbers 0 to 127.
QString WidestValueText(int row);

// A value label's rectangle at (left, top) showing its widest text.
QRect WidestValueRect(int row, int left, int top);

// Text the artwork prints itself, with the rectangle it takes.
struct TArtText {
    QString Text;
    QFont Font;
    QRect Rect;
    bool Boxed = false; // drawn like the window's caption labels, black on white
};

// ---- Block diagram ---------------------------------------------------------

// One thing the window puts on the block-diagram page, with the section it
// belongs to.
struct TPlacedItem {
    QString Name;     // label or control name
    QString Section;  // section name as in the parameter table
    QRect Rect;       // page rectangle (value labels at their widest text)
};

// Every caption label, every value label and the four shared pictures
// (gOsc1, gOsc2, VCFadsr, VCAadsr) of the block-diagram page.
std::vector<TPlacedItem> BlockPageItems();

// What the window puts on the block-diagram page (labels at their widest,
// every shared control, buttons included): the artwork keeps its own text
// out of these.
std::vector<QRect> BlockPageCovered();

struct TSectionBox {
    QString Section;  // as in the parameter table ("Voice" for the voice-wide area)
    QRect Rect;       // page rectangle
};

const std::vector<TSectionBox> &SectionBoxes();
const TSectionBox &SectionBox(const QString &section);

// A signal line: a polyline from a source box edge to a destination box
// edge; Arrow says whether its last segment ends in an arrowhead.
struct TSignalLine {
    std::vector<QPoint> Points;
    bool Arrow;
};

const std::vector<TSignalLine> &SignalLines();

// Points where lines join (drawn as dots).
const std::vector<QPoint> &SignalJunctions();

// The artwork's own texts on the block diagram ("Osc 1", "Osc 2", "OUT", title).
std::vector<TArtText> BlockTexts();

// ---- Controller picture ----------------------------------------------------

enum class TBcrKind { PushEncoder, Button, Encoder };

// One control of the BCR2000 that sends a controller number.
struct TBcrControl {
    TBcrKind Kind;
    int Controller;      // turn (encoders) or press (buttons)
    int PushController;  // push of a push encoder, else -1
    QPoint Centre;
    QRect Body;          // button face, or knob with its LED ring
};

constexpr int LedRingMargin = 8; // LED ring beyond the knob's edge

// The 64 controls: 8 push encoders, 16 buttons, 24 encoders, placed at the
// columns and rows their value labels give.
std::vector<TBcrControl> BcrControls();

// Column centres and row tops derived from the labels' controller-page places.
int BcrColumnCentre(int column);  // column 0..7
int BcrRowTop(int firstController);  // label top of the row that starts at this controller

// The table row of a controller, or -1.
int RowOfController(int controller);

// The name printed at a control: section and control name (and the push's
// name for push encoders), as lines of text with their rectangles.
std::vector<TArtText> BcrNameTexts();

// Labels at their widest and shared controls at their controller-page places.
std::vector<QRect> BcrPageCovered();

// The two framed areas at the right edge and their headings.
QRect OscillatorFrame();
QRect EnvelopeFrame();
std::vector<TArtText> BcrFrameTexts();

// The keys on the right (encoder groups, store, learn, edit, exit, presets,
// user keys) and their captions.
std::vector<QRect> BcrRightKeys();
std::vector<TArtText> BcrRightKeyTexts();

// The maker's lettering at the bottom of the body.
std::vector<TArtText> BcrLogoTexts();

// The controller's body outline parts (drawn as one shape).
QRect BcrMainBody();
QRect BcrKeyColumn();

} // namespace artwork
