// Creates the components that the host asks for.
#pragma once

#include "plugininterface.h"

// The new component, not yet referenced, or null for an unknown id or index.
plugin_interface* create_component(interface_id const& id, int index, vantel_interface* vantel);
