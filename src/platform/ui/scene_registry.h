#pragma once
// Controllers made by identifier from factories the application registers at start-up: the
// screens and windows the program builds by name.
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/view_controller.h"
#include "platform/ui/window_controller.h"

namespace qrn::ui {

class SceneRegistry {
  public:
    using ViewControllerFactory = std::function<ViewControllerPtr()>;
    using WindowControllerFactory = std::function<WindowControllerPtr()>;

    // Registering an identifier again replaces its factory.
    static void registerViewController(const std::string& identifier, ViewControllerFactory factory);
    static void registerWindowController(const std::string& identifier, WindowControllerFactory factory);
    // A new controller with its identifier set; null for an unknown identifier.
    static ViewControllerPtr instantiateViewController(const std::string& identifier);
    static WindowControllerPtr instantiateWindowController(const std::string& identifier);
    static bool hasScene(const std::string& identifier);
    static std::vector<std::string> identifiers();
    static void clear();
};

} // namespace qrn::ui
