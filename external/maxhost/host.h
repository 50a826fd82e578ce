// The headless host's own interface: what Max itself would do with a loaded
// external. Used by omber-maxhost and the tests.
//
// Everything here runs on the host's main thread, except SignalChain::tick
// (the audio thread) and the post handler (called from whichever thread
// posts, serialised by a lock).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "external/maxhost/max_api.h"

namespace omber::maxhost {

// Where object_post goes; by default each text is one line on stdout.
using PostHandler = std::function<void(t_object* poster, const std::string& text)>;
void setPostHandler(PostHandler handler);

// Loads a module (dlopen, LoadLibrary on Windows) and calls its ext_main
// (once per path). False with a reason on failure.
bool loadModule(const std::string& path, std::string& error);

t_atom longAtom(t_atom_long value);
t_atom floatAtom(double value);
t_atom symbolAtom(const char* name);
// Splits a message text into atoms: integers, other numbers, words.
std::vector<t_atom> parseAtoms(const std::string& text);

// Creates an object of a registered class with its creation atoms (for
// example parseAtoms("@role 1 @capture 1")); nullptr on failure.
t_object* newObject(const std::string& className, std::vector<t_atom> args);
// Calls the class's free routine and releases the object. Take the object
// out of every running signal chain first (stop ticking it).
void freeObject(t_object* object);

// Sends a message the class registered with A_GIMME, A_LONG, A_FLOAT or no
// arguments. False when the class has no such public method.
bool sendMessage(t_object* object, const std::string& selector, std::vector<t_atom> args = {});
// Sets an attribute as an "@name value" argument would (clip filters apply),
// storing it at the width its declared type has in Max.
bool setAttribute(t_object* object, const std::string& name, std::vector<t_atom> values);
bool getAttributeLong(const t_object* object, const std::string& name, t_atom_long& value);
// Where an attribute without a setter lives in the object: its byte offset
// and the bytes Max writes there for its type.
bool attributeField(const t_object* object, const std::string& name, long& offset, std::size_t& width);
// The object's assist text for an inlet or outlet.
std::string assist(t_object* object, bool inlet, long index);

long signalInlets(const t_object* object);
long signalOutlets(const t_object* object);
// Outlet types in creation order ("signal" or another type name).
std::vector<std::string> outletTypes(const t_object* object);
// The class's attribute names, and the messages a patch may send it (its
// A_CANT methods left out), each in name order.
std::vector<std::string> attributeNames(const t_object* object);
std::vector<std::string> messageNames(const t_object* object);

namespace detail {
bool registerClass(t_class* c);
bool setAttribute(t_object* object, const char* name, long argc, const t_atom* argv);
void post(t_object* poster, const char* text);
}  // namespace detail

}  // namespace omber::maxhost
