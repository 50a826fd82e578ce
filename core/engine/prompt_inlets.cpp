// Prompts, key and project key: the texts the server generates from.
#include <cmath>

#include "core/documents/prompts.h"
#include "core/engine/engine.h"
#include "core/base/number_text.h"
#include "core/base/text.h"

namespace omber::engine {
namespace {

// The prompt selectors leave out a first text atom that is the word "text".
std::string promptText(const Atoms& atoms) {
  const bool prefixed = !atoms.empty() && atoms[0].isText() && atoms[0].text == "text";
  return joinedText(atoms, prefixed ? 1 : 0);
}

}  // namespace

void Engine::onPrompt(const Atoms& atoms) {
  settings_.promptA = promptText(atoms);
  sendPrompt();
}

void Engine::onPromptB(const Atoms& atoms) {
  std::string text = promptText(atoms);
  settings_.promptB = text.empty() ? std::nullopt : std::optional<std::string>(std::move(text));
  sendPrompt();
}

void Engine::onPromptAB(const Atoms& atoms) {
  const std::string text = promptText(atoms);
  const std::size_t bar = text.find('|');
  settings_.promptA = std::string(trimmed(std::string_view(text).substr(0, bar)));
  if (bar != std::string::npos) {
    const std::string_view b = trimmed(std::string_view(text).substr(bar + 1));
    if (!b.empty()) settings_.promptB = std::string(b);
  }
  sendPrompt();
}

void Engine::onKey(const Atoms& atoms) {
  settings_.keyIndex = roundToInt32(numberAt(atoms, 0));
  settings_.keyName = std::string(keyNameAt(settings_.keyIndex));
  sendPrompt();
}

void Engine::onProjRoot(const Atoms& atoms) {
  const double root = numberAt(atoms, 0);
  if (!std::isfinite(root)) return;  // stored numbers stay finite
  settings_.projectRoot = std::round(root);
  updateProjectKey();
}

void Engine::onProjScale(const Atoms& atoms) {
  settings_.projectScale = std::string(trimmed(stringAt(atoms, 0)));
  updateProjectKey();
}

void Engine::updateProjectKey() {
  std::string text = projectKeyText(settings_.projectRoot, settings_.projectScale);
  const bool changed = text != settings_.projectKey;
  settings_.projectKey = std::move(text);
  // A selected key name takes precedence over the project key.
  if (changed && settings_.keyName.empty()) sendPrompt();
}

std::string Engine::composeTagTextA() const {
  const std::string_view base = settings_.promptA.empty() ? kDefaultTagText : std::string_view(settings_.promptA);
  PromptMetadata metadata;
  metadata.backend = settings_.backend;
  metadata.sourceTempo = live_.feed().sourceTempo();
  metadata.liveTempo = live_.grid().liveTempo().value_or(0.0);
  metadata.keyName = settings_.keyName;
  metadata.projectKey = settings_.projectKey;
  return withLoraTriggers(base, settings_.loraCatalog, settings_.loraSlots) + metadataSuffix(metadata);
}

std::string Engine::composeTagTextB() const {
  if (!settings_.promptB) return {};
  return withLoraTriggers(*settings_.promptB, settings_.loraCatalog, settings_.loraSlots);
}

// Nothing is queued while the session is not ready: the next change after
// readiness sends the whole state, and the handshake carries tag text A.
void Engine::sendPrompt() {
  if (!live_.readiness().ready()) return;
  sendCommand(promptCommand(composeTagTextA(), composeTagTextB()));
}

}  // namespace omber::engine
