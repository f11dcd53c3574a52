#pragma once

// A dialog as the resource script writes it, read from resources/kelvara.rc in
// the source tree, so tests check the dialogs against the template itself.

#include <map>
#include <string>
#include <vector>

namespace kelvara::test {

struct TemplateControl {
    std::string statement; // LTEXT, EDITTEXT, CONTROL, ...
    std::string text;      // with its macros expanded
    bool showsText = false; // false where the window shows no text of the template's
    int id = 0;            // -1 for IDC_STATIC
    std::string cls;       // the window class it makes
    std::vector<std::string> styles; // as written, with the statement's own type (SS_LEFT, BS_PUSHBUTTON...)
    int x = 0, y = 0, w = 0, h = 0;  // dialog units

    bool styled(const std::string& name) const;
};

struct DialogTemplate {
    int width = 0, height = 0;
    std::string caption, fontName;
    int fontSize = 0;
    std::vector<std::string> styles;
    std::vector<TemplateControl> controls;

    // The one control with this text, or with this id; null (and a failure) otherwise.
    const TemplateControl* withText(const std::string& text) const;
    const TemplateControl* withId(int id) const;
    // The controls lying within `frame`, a group box.
    std::vector<const TemplateControl*> inside(const TemplateControl& frame) const;
};

// The dialog `name` (IDD_...) of resources/kelvara.rc; ids and macros from
// resource_ids.h, project_links.h and `macros` (for what the build generates).
DialogTemplate readDialogTemplate(const std::string& name, const std::map<std::string, std::string>& macros = {});

} // namespace kelvara::test
