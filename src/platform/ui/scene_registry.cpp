#include "platform/ui/scene_registry.h"

#include <map>

namespace qrn::ui {

namespace {
std::map<std::string, SceneRegistry::ViewControllerFactory> viewFactories;
std::map<std::string, SceneRegistry::WindowControllerFactory> windowFactories;

// A new controller from the factory registered under `identifier`, which it takes as its own;
// none when nothing is registered there.
template <typename Ptr>
Ptr instantiate(const std::map<std::string, std::function<Ptr()>>& factories, const std::string& identifier) {
    auto it = factories.find(identifier);
    if (it == factories.end() || !it->second)
        return nullptr;
    Ptr c = it->second();
    if (c)
        c->setIdentifier(identifier);
    return c;
}
} // namespace

void SceneRegistry::registerViewController(const std::string& identifier, ViewControllerFactory factory) {
    viewFactories[identifier] = std::move(factory);
}

void SceneRegistry::registerWindowController(const std::string& identifier, WindowControllerFactory factory) {
    windowFactories[identifier] = std::move(factory);
}

ViewControllerPtr SceneRegistry::instantiateViewController(const std::string& identifier) {
    return instantiate(viewFactories, identifier);
}

WindowControllerPtr SceneRegistry::instantiateWindowController(const std::string& identifier) {
    return instantiate(windowFactories, identifier);
}

bool SceneRegistry::hasScene(const std::string& identifier) {
    return viewFactories.count(identifier) || windowFactories.count(identifier);
}

std::vector<std::string> SceneRegistry::identifiers() {
    std::vector<std::string> ids;
    for (auto& [k, v] : viewFactories)
        ids.push_back(k);
    for (auto& [k, v] : windowFactories)
        ids.push_back(k);
    return ids;
}

void SceneRegistry::clear() {
    viewFactories.clear();
    windowFactories.clear();
}

} // namespace qrn::ui
