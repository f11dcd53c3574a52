// The desktop's picture from the desktop portal (org.freedesktop.portal.
// Screenshot), where the compositor offers no screencopy and no KWin
// interface: GNOME, and KDE without the grant.
//
// Provides: capturePortal, askPortalOnce. One non-interactive screenshot of
// the whole stage, answered by a Response signal with the URI of a PNG file;
// the picture is cut per output and the file deleted.
// Limits: the first request ever makes GNOME ask the user whether Kelvara may
// take screenshots (kelvara --allow-capture asks while the user is there); the
// desktop may flash and play its shutter sound; a portal that answers after we
// gave up leaves its file behind.
#include <png.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>

#include "capture/capture_services_wayland.h"
#include "capture/stage_picture.h"

namespace kelvara {

namespace {

using namespace std::chrono_literals;

// The portal may have to be started first (D-Bus activation).
constexpr auto kCallTimeout = 10000ms;
// Long enough for the shell to take the picture, short enough that a question
// nobody answers does not keep the saver from starting.
constexpr auto kAnswerTimeout = 5000ms;

const char* kPortal = "org.freedesktop.portal.Desktop";
const char* kPortalPath = "/org/freedesktop/portal/desktop";

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The local path of a file:// URI (percent escapes decoded); empty otherwise.
std::string localPath(const std::string& uri) {
    const std::string scheme = "file://";
    if (uri.compare(0, scheme.size(), scheme) != 0) {
        return "";
    }
    std::string path;
    for (std::size_t i = scheme.size(); i < uri.size(); ++i) {
        int high = 0, low = 0;
        if (uri[i] == '%' && i + 2 < uri.size() && (high = hexDigit(uri[i + 1])) >= 0 &&
            (low = hexDigit(uri[i + 2])) >= 0) {
            path += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            path += uri[i];
        }
    }
    return path.empty() || path[0] != '/' ? "" : path;
}

// The request object the portal answers on: its path is known before the
// call, so the subscription is in place before the answer can come.
std::string requestPath(BusConnection& bus, const std::string& token) {
    std::string sender = bus.uniqueName();
    if (!sender.empty() && sender[0] == ':')
        sender.erase(0, 1);
    for (char& c : sender) {
        if (c == '.')
            c = '_';
    }
    return std::string(kPortalPath) + "/request/" + sender + "/" + token;
}

std::string responseRule(const std::string& path) {
    return "type='signal',interface='org.freedesktop.portal.Request',member='Response',path='" + path + "'";
}

// Asks for the screenshot, waiting `callTime` for the portal to take the
// request (it may have to start first) and `wait` for the answer: the
// picture's file, or false with the reason.
bool portalScreenshot(BusConnection& bus, std::chrono::milliseconds callTime, std::chrono::milliseconds wait,
                      std::string& file, std::string& why) {
    static std::atomic<unsigned> requests{0};
    const std::string token = "kelvara" + std::to_string(getpid()) + "_" + std::to_string(++requests);
    std::string handle = requestPath(bus, token);
    BusSubscription expected = bus.subscribe(responseRule(handle));
    BusReply reply = bus.call({kPortal,
                               kPortalPath,
                               "org.freedesktop.portal.Screenshot",
                               "Screenshot",
                               {std::string(), BusDict{{"handle_token", token}, {"interactive", false}}}},
                              callTime);
    if (!reply.ok()) {
        why = reply.error();
        return false;
    }
    BusSubscription other;
    if (const auto* path = reply.values.empty() ? nullptr : std::get_if<ObjectPath>(&reply.values[0])) {
        if (path->path != handle) { // a portal older than handle_token
            handle = path->path;
            other = bus.subscribe(responseRule(handle));
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        std::optional<BusSignal> signal = left.count() > 0 ? bus.nextSignal(left) : std::nullopt;
        if (!signal) {
            // Takes a question that may still be showing off the screen.
            bus.call({kPortal, handle, "org.freedesktop.portal.Request", "Close", {}}, 500ms);
            why = "no answer within " + std::to_string(wait.count() / 1000) +
                  " s (is it asking whether Kelvara may take screenshots? kelvara --allow-capture asks once)";
            return false;
        }
        if (signal->path != handle || signal->args.size() < 2) {
            continue;
        }
        const auto* code = std::get_if<uint32_t>(&signal->args[0]);
        const auto* results = std::get_if<BusDict>(&signal->args[1]);
        const std::string* uri = results ? dictValue<std::string>(*results, "uri") : nullptr;
        file = uri ? localPath(*uri) : "";
        if (code && *code == 0 && !file.empty()) {
            return true;
        }
        why = code && *code == 1                   ? "the user (or the desktop's settings) refused"
              : file.empty() && code && *code == 0 ? "an answer without a local file"
                                                   : "the portal could not take the screenshot";
        if (!file.empty())
            unlink(file.c_str());
        return false;
    }
}

// The PNG as 8-bit blue, green, red, alpha pixels.
bool readPng(const std::string& file, std::vector<uint8_t>& pixels, PackedImage& image, std::string& why) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&png, file.c_str()) == 0) {
        why = std::string("png_image_begin_read_from_file: ") + png.message;
        return false;
    }
    png.format = PNG_FORMAT_BGRA;
    if (png.width == 0 || png.height == 0 || png.width > 32768 || png.height > 32768) {
        why = "a picture of " + std::to_string(png.width) + "x" + std::to_string(png.height);
        png_image_free(&png);
        return false;
    }
    pixels.resize(PNG_IMAGE_SIZE(png));
    if (png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr) == 0) {
        why = std::string("png_image_finish_read: ") + png.message;
        png_image_free(&png);
        return false;
    }
    image.data = pixels.data();
    image.width = static_cast<int32_t>(png.width);
    image.height = static_cast<int32_t>(png.height);
    image.bytesPerLine = image.width * 4;
    image.bytesPerPixel = 4;
    image.msbFirst = false;
    image.redMask = 0x00FF0000u;
    image.greenMask = 0x0000FF00u;
    image.blueMask = 0x000000FFu;
    return true;
}

} // namespace

bool capturePortal(BusConnection& bus, const std::vector<OutputGeometry>& outputs, const CaptureSize& size,
                   std::vector<CaptureBuffer>& pictures, std::string& why) {
    pictures.clear();
    std::string file;
    if (!portalScreenshot(bus, kCallTimeout, kAnswerTimeout, file, why)) {
        return false;
    }
    std::vector<uint8_t> pixels;
    PackedImage stage;
    const bool read = readPng(file, pixels, stage, why);
    unlink(file.c_str());
    if (!read) {
        return false;
    }
    std::vector<ScreenRect> rects;
    for (const OutputGeometry& output : outputs) {
        rects.push_back(output.logical.empty() ? fallbackLogical(output) : output.logical);
    }
    const std::vector<ScreenRect> cuts = stageCuts(rects, stage.width, stage.height);
    pictures.resize(outputs.size());
    std::size_t taken = 0;
    for (std::size_t i = 0; i < cuts.size(); ++i) {
        if (!cuts[i].empty() && cutAndScale(stage, cuts[i], size.width, size.height, pictures[i])) {
            ++taken;
        }
    }
    if (taken == 0) {
        pictures.clear();
        why = "no output lies in the picture of " + std::to_string(stage.width) + "x" +
              std::to_string(stage.height);
    }
    return taken > 0;
}

bool askPortalOnce(BusConnection& bus, std::string& why) {
    std::string file;
    // Time for the portal to start, and for the user to read the question
    // and answer it.
    if (!portalScreenshot(bus, 60000ms, 120000ms, file, why)) {
        return false;
    }
    unlink(file.c_str());
    why = "the desktop portal took a screenshot (deleted at once)";
    return true;
}

} // namespace kelvara
