#include "cli/option_file.h"

#include <algorithm>
#include <iterator>
#include <set>
#include <string_view>

#include "render/render_thread.h"
#include "settings/setting_text.h"
#include "settings/settings.h"

namespace kelvara {

namespace {

// Settings with no control: under XScreenSaver there is no display mode
// switch (the program draws into the window it is handed), and useTrails
// changes nothing anywhere.
constexpr std::string_view kLeftOut[] = {"resW", "resH", "resC", "useTrails"};

std::string escaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

class Writer {
  public:
    std::string text;
    std::set<std::string> placed;

    void open(const char* element, const std::string& attributes = "") {
        // Appended piece by piece: GCC 12 warns falsely about "literal" + string.
        std::string tag = "<";
        tag += element;
        if (!attributes.empty()) {
            tag += ' ';
            tag += attributes;
        }
        tag += '>';
        line(tag);
        depth_ += 1;
    }
    void close(const char* element) {
        depth_ -= 1;
        line("</" + std::string(element) + ">");
    }
    void line(const std::string& s) { text += std::string(2 * depth_, ' ') + s + "\n"; }
    void blank() { text += "\n"; }

    const SettingField& use(std::string_view name) {
        placed.insert(std::string(name));
        return kSettingFields[settingIndex(name)];
    }

    // A slider over the setting's range; the ends say what they look like.
    void slider(std::string_view name, const char* lowLabel, const char* highLabel) {
        const SettingField& f = use(name);
        line(std::string("<number id=\"") + f.name + "\" type=\"slider\" arg=\"--" + f.name + " %\"");
        line(std::string("        _label=\"") + escaped(f.label) + "\" _low-label=\"" + escaped(lowLabel) +
             "\" _high-label=\"" + escaped(highLabel) + "\"");
        line("        low=\"" + std::to_string(f.low) + "\" high=\"" + std::to_string(f.high) +
             "\" default=\"" + std::to_string(f.defaultValue) + "\"/>");
    }

    // A flag: the box passes the value away from the default.
    void flag(std::string_view name) {
        const SettingField& f = use(name);
        const std::string argument = f.defaultValue != 0 ? "arg-unset=\"--" + std::string(f.name) + " 0\""
                                                         : "arg-set=\"--" + std::string(f.name) + " 1\"";
        line(std::string("<boolean id=\"") + f.name + "\" _label=\"" + escaped(f.label) + "\" " + argument +
             "/>");
    }

    // A menu of the setting's named values that `offered` accepts; the
    // default's entry passes nothing.
    template <typename Offered> void choice(std::string_view name, const char* prefix, Offered offered) {
        const SettingField& f = use(name);
        line(std::string("<select id=\"") + f.name + "\">");
        depth_ += 1;
        for (const SettingChoice& c : f.values.choices) {
            if (!offered(c.value))
                continue;
            std::string entry = std::string("<option id=\"") + f.name + std::to_string(c.value) +
                                "\" _label=\"" + escaped(std::string(prefix) + c.label) + "\"";
            if (c.value != f.defaultValue)
                entry += " arg-set=\"--" + std::string(f.name) + " " + std::to_string(c.value) + "\"";
            line(entry + "/>");
        }
        depth_ -= 1;
        line("</select>");
    }

  private:
    int depth_ = 0;
};

// A step of the thread priority that changes something here: natively only
// the steps below normal do (a user process may lower its priority but not
// raise it), and the default stays on offer.
bool priorityActs(int32_t step) {
    return niceForThreadPriority(threadPriorityFor(step)) != 0 ||
           step == kSettingFields[settingIndex("Priority")].defaultValue;
}

} // namespace

namespace {

bool anyValue(int32_t) {
    return true;
}

void pictureControls(Writer& w) {
    // What the picture does, and the wave's shape.
    w.open("hgroup");
    w.open("vgroup");
    w.choice("Mode", "", anyValue);
    w.slider("x_div", "Coarse", "Fine");
    w.slider("y_div", "Coarse", "Fine");
    w.slider("genChildren", "None", "Many");
    w.close("vgroup");
    w.open("vgroup");
    w.slider("xyAmplitude", "Flat", "High");
    w.slider("xyFrequency1", "Still", "Fast");
    w.slider("xyFrequency2", "Still", "Fast");
    w.slider("xySizeX", "Long", "Short");
    w.slider("xySizeY", "Long", "Short");
    w.close("vgroup");
    w.close("hgroup");
    w.blank();
}

void cameraControls(Writer& w) {
    // The camera: how far each swing goes, and how long it takes.
    w.open("hgroup");
    w.open("vgroup");
    w.flag("enableMovement");
    w.slider("rotX0", "Level", "Far");
    w.slider("rotY0", "Square on", "Far");
    w.slider("rotZ0", "Upright", "Spinning");
    w.slider("zoom0", "Small", "Large");
    w.close("vgroup");
    w.open("vgroup");
    w.slider("rotX1", "Quick", "Slow");
    w.slider("rotY1", "Quick", "Slow");
    w.slider("rotZ1", "Quick", "Slow");
    w.slider("zoom1", "Quick", "Slow");
    w.close("vgroup");
    w.close("hgroup");
    w.blank();
}

void textureAndRunControls(Writer& w) {
    // The picture's texture and the run, beside where the picture comes from.
    w.open("hgroup");
    w.open("vgroup");
    w.choice("screenTextureWidth", "Texture width ", anyValue);
    w.choice("screenTextureHeight", "Texture height ", anyValue);
    w.flag("useLinear");
    w.flag("xyGoraud");
    w.flag("useOGL");
    w.flag("randPreset");
    w.close("vgroup");
    w.open("vgroup");
    w.choice("Priority", "Priority: ", priorityActs);
    w.line("<boolean id=\"showfps\" _label=\"Show frame rate\" arg-set=\"--fps\"/>");
    w.line("<xscreensaver-image/>");
    w.close("vgroup");
    w.close("hgroup");
    w.blank();
}

} // namespace

OptionFile xscreensaverOptionFile() {
    Writer w;
    w.line("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    w.line("<!-- Made by the build from kelvara's settings table. -->");
    w.blank();
    w.open("screensaver", "name=\"kelvara\" _label=\"Kelvara\" gl=\"yes\"");
    w.blank();
    w.line("<command arg=\"--root\"/>");
    w.blank();

    pictureControls(w);
    cameraControls(w);
    textureAndRunControls(w);

    w.open("_description");
    w.text += "Takes a picture of the desktop and animates it in 3D with OpenGL: the\n"
              "picture bursts into tumbling pieces that split into smaller ones\n"
              "(Explode), or ripples as a lit surface (Wave1 to Wave3), while the\n"
              "camera swings and zooms.\n";
    w.close("_description");
    w.close("screensaver");

    OptionFile result;
    for (const SettingField& f : kSettingFields) {
        const bool leftOut =
            std::find(std::begin(kLeftOut), std::end(kLeftOut), f.name) != std::end(kLeftOut);
        if (leftOut == (w.placed.count(f.name) != 0)) {
            result.error =
                std::string("setting ") + f.name +
                (leftOut ? " is both left out and given a control" : " has no control and is not left out");
            return result;
        }
    }
    result.ok = true;
    result.text = std::move(w.text);
    return result;
}

} // namespace kelvara
