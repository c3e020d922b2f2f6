#include "VideoTexts.h"

using namespace kqa;

namespace {

std::string Dpi(int32_t f) { return std::to_string(f) + " dpi"; }
std::string Pixels(int32_t f) { return std::to_string(f) + " pixels"; }
std::string Hz(int32_t f) { return std::to_string(f) + " Hz"; }
std::string Bits(int32_t f) { return std::to_string(f) + " bits"; }

const TipTextDef kTips[] = {
    {video::TIP_HIDPI_UNSCALED, "A high-density screen is shown without scaling",
     "This screen shows %1 but the desktop draws it at scale 1, so text and controls come out "
     "tiny and hard to read. Scale by 200 % (or 150 % for around 140 dpi): in GNOME, Settings > "
     "Displays > Scale; in KDE Plasma, System Settings > Display and Monitor > Global scale; in "
     "an X11 session without those, put \"Xft.dpi: 192\" into ~/.Xresources and set "
     "QT_SCALE_FACTOR=2 and GDK_SCALE=2 in ~/.profile.",
     &Dpi},
    {video::TIP_NOT_NATIVE, "The screen is not at its native resolution",
     "The monitor's preferred mode is %1 wide, but the desktop drives it at a lower "
     "resolution, so the monitor scales the picture and everything looks blurred. Choose the "
     "native resolution in the display settings, or with \"xrandr --output <output> --auto\" "
     "in an X11 session; use the desktop's scale setting instead if things look too small.",
     &Pixels},
    {video::TIP_NO_DRIVER, "No hardware graphics driver is in use",
     "The only graphics driver loaded is a plain framebuffer (simpledrm, efifb or vesafb): "
     "every picture is drawn by the processor, video plays poorly and the screen may be stuck "
     "at one resolution. Install the driver for the graphics card: \"sudo apt-get install "
     "firmware-misc-nonfree firmware-amd-graphics\" for Intel and AMD (then reboot), or the "
     "\"nvidia-driver\" package from non-free for NVIDIA; \"lspci -k | grep -A3 VGA\" shows "
     "which driver each card uses."},
    {video::TIP_LOW_REFRESH, "A screen runs at a low refresh rate",
     "This screen refreshes at only %1, so moving pictures and the mouse pointer "
     "stutter. It often happens with a 4K monitor on an old HDMI cable or port. Choose 60 Hz "
     "or more in the display settings (\"xrandr --output <output> --mode <mode> --rate 60\" "
     "in X11), or use a DisplayPort or HDMI 2.0 cable.",
     &Hz},
    {video::TIP_LOW_DEPTH, "A screen shows fewer than 16 million colours",
     "This screen is driven with %1 per pixel, so gradients and photos show bands. Set the "
     "depth to 24 bits: in an X11 session with DefaultDepth 24 in the \"Screen\" section of "
     "/etc/X11/xorg.conf; a remote desktop session usually has a colour depth setting of its "
     "own.",
     &Bits},
};

const AttrDescDef kAttrs[] = {
    {video::T_PLATFORM, "Platform",
     "The Qt platform the program draws through: \"xcb\" (an X11 session), \"wayland\", or "
     "\"offscreen\" when there is no display; \"none\" when the host has no graphical "
     "application object (then no screens are listed and the text test is left out)."},
    {video::T_SESSION, "Session Type",
     "The kind of desktop session (XDG_SESSION_TYPE): x11, wayland or tty."},
    {video::T_QT_VERSION, "Qt Version", "The version of the Qt libraries the program runs with."},
    {video::T_SCREEN_COUNT, "Screen Count", "Number of screens the desktop offers the program."},
    {video::T_SCREEN_NAME, "Output",
     "The output (connector) the screen is shown on, as the platform names it."},
    {video::T_SCREEN_MAKER, "Monitor",
     "Manufacturer and model of the monitor, as the platform reports them."},
    {video::T_RESOLUTION, "Resolution",
     "Width and height of the screen in device-independent pixels."},
    {video::T_WIDTH, "Width", "Width of the screen in device-independent pixels."},
    {video::T_HEIGHT, "Height", "Height of the screen in device-independent pixels."},
    {video::T_DEPTH, "Colour Depth",
     "Bits per pixel of the screen; 24 or 32 show 16.7 million colours."},
    {video::T_REFRESH, "Refresh Rate", "How often the screen is redrawn, in Hz."},
    {video::T_LOGICAL_DPI, "Logical DPI",
     "The dots per inch the desktop tells programs to lay text out for."},
    {video::T_PHYSICAL_DPI, "Physical DPI",
     "The real density of the screen in dots per inch, from its size in millimetres."},
    {video::T_SCALE, "Scale Factor",
     "Device pixels per device-independent pixel (the desktop's scaling): 1, 1.25, 2..."},
    {video::T_PHYSICAL_SIZE, "Physical Size",
     "Width and height of the visible picture in millimetres, as the monitor reports them."},
    {video::T_PRIMARY, "Primary", "Whether this is the primary screen, where new windows appear."},
    {video::T_VIRTUAL, "Virtual",
     "\"yes\" when the screen is made up by Qt's offscreen or minimal platform (no monitor "
     "behind it); such screens raise no tips."},
    {video::T_ADAPTER_VENDOR, "Adapter Vendor",
     "Maker of the graphics adapter, from its PCI vendor number."},
    {video::T_ADAPTER_PCI_ID, "Adapter PCI ID",
     "Vendor and device numbers of the graphics adapter (as lspci -nn shows them)."},
    {video::T_ADAPTER_DRIVER, "Adapter Driver",
     "The kernel driver of the graphics adapter (i915, amdgpu, nouveau, nvidia...); simpledrm, "
     "efifb or vesafb mean no hardware acceleration."},
    {video::T_BOOT_DISPLAY, "Boot Display",
     "Whether the firmware used this adapter for the boot screen."},
    {video::T_OUTPUTS, "Connected Outputs",
     "The adapter's outputs with a monitor attached, each with the monitor's preferred mode."},
    {video::T_LINES, "Lines",
     "Lines drawn per second with QPainter: one-pixel solid lines between random points of a "
     "1024 x 768 ARGB32 image, in eight colours. A batch of about 10 ms is calibrated first; "
     "after one repetition of warm-up, five repetitions of ten batches are timed and the figure "
     "is the best of them, since other work on the machine can only slow drawing down (fewer "
     "repetitions when the machine is so busy that a test would take "
     "more than 0.8 s). Time is the processor time the program got, so that other programs "
     "running at the same moment do not lower the figure; on an idle machine it is the "
     "elapsed time. The drawing figures vary by more than 10 % from run to run (the image "
     "outgrows a core's own caches, and the shared cache is busy with other programs), so the "
     "history of this machine does not compare them; each keeps its spread beside it."},
    {video::T_RECTANGLES, "Rectangles",
     "Filled rectangles (120 x 90 pixels, outlined) drawn per second with QPainter on the same "
     "image; best of five timed repetitions after warm-up."},
    {video::T_TEXT, "Text",
     "Lines of text (34 characters, Sans Serif 11 point) drawn per second with QPainter; "
     "best of five timed repetitions after warm-up. Needs the font database, so it is left "
     "out when the host has no graphical application object."},
    {video::T_IMAGES, "Image Copies",
     "64 x 64 pixel images with transparency drawn (blended) per second with QPainter; best "
     "of five timed repetitions after warm-up."},
    {video::T_SURFACE, "Drawing Surface",
     "What the tests draw on: a 1024 x 768 QImage in the premultiplied ARGB32 format, drawn by "
     "Qt's raster engine, the same engine that paints Qt windows into their backing store. "
     "Nothing is shown on the screen, so the test runs the same with or without a display."},
    {video::T_TEXT_TEST, "Text Test", "Why the text test was left out, when it was."},
    {video::T_DRAW_TIME, "Drawing Test Time", "How long the drawing tests took, in seconds."},
    {video::T_DRAW_RESULT, "Drawing Test Result",
     "\"complete\", \"cancelled\" or \"not run yet\"."},
};

const char kIntro[] =
    "<p>The Video analyzer lists the screens (resolution, colour depth, refresh rate, density, "
    "scale factor), the Qt graphics platform in use and the graphics adapters with their drivers "
    "and connected outputs. Its test measures 2-D drawing with QPainter (lines, rectangles, text "
    "and image copies) on a 1024 x 768 image, in about two and a half seconds. With no display "
    "(the offscreen platform) the test runs the same; in a host without a graphical application "
    "object no screens are listed and the text test is left out.</p>";

}  // namespace

namespace video {

const ModuleHelp& Help() {
    static const CTextRegistry texts = MakeTextRegistry(kTips, kAttrs);
    static const ModuleHelp help{texts, kModule.title, kIntro};
    return help;
}

}  // namespace video
