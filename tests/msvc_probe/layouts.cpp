// Uses every interface class, so that both compilers lay out each vtable:
// GCC (mingw-w64, the DLLs' compiler) and clang in Microsoft's ABI (the
// host's). scripts/vtable_check.sh compares the slot counts class by class.
#include "exporterinterface.h"
#include "importerinterface.h"
#include "browserinterface.h"
void f(scene_interface* s, part_class* p, stream_interface* st, text_stream_interface* t, dialog_interface* d, progress_interface* g, plugin_exporter_interface* e, importer_interface* i, browser_interface* b, control_point_class* c, rotator_joint_interface* r) {
  s->update(); p->toggle_switch(); st->tell(); t->rewind(); d->ask(); g->step_progress(0); e->run_export(); i->get_number_of_file_extensions(); b->do_browser(nullptr); c->get_first_flag(); r->get_center(); }
