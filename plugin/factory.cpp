#include "factory.h"

#include <new>

#include "exporter_component.h"
#include "ids.h"
#include "importer_component.h"
#include "jointskinclear_component.h"
#include "resetmatrix_component.h"
#include "skinclear_component.h"

plugin_interface* create_component(interface_id const& id, int index, vantel_interface* vantel)
{
    switch (match_interface(id)) {
    case Interface_kind::exporter:
        return vantel ? new (std::nothrow) exporter_component(*vantel) : nullptr;
    case Interface_kind::importer: {
        if (!vantel)
            return nullptr;
        auto* importer = new (std::nothrow) importer_component(*vantel);
        if (importer)
            importer->progress.reset();
        return importer;
    }
    case Interface_kind::browser:
        switch (index) {
        case 0: return new (std::nothrow) skinclear_component();
        case 1: return new (std::nothrow) jointskinclear_component();
        case 2: return new (std::nothrow) resetmatrix_component();
        default: return nullptr;
        }
    case Interface_kind::none: break;
    }
    return nullptr;
}
