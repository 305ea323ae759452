// The primitives that read, add and remove the bindings of one host skin.
#pragma once

#include "sceneinterface.h"

// Removes every binding, from the highest index down.
void clear_skin(skin_class& skin);
// Removes the highest-indexed binding of joint; with a null joint, every binding.
void clear_skin(skin_class& skin, shape_class* joint);
// Binds the skin to joint with weight, or replaces the weight of its existing binding.
void append_skin(skin_class& skin, shape_class* joint, float weight);
