// Any byte string as KVUI_Config.dat: loading must stay in bounds, leave every
// text terminated and every bool valid, and the model must save again.

#include <cstdlib>
#include <cstring>
#include <memory>

#include "Kvguiglobals.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static auto model = std::make_unique<KVUIOperationClass>();
    model->screenWidth = 1280;
    model->screenHeight = 1024;
    model->clockDefaultLeft = 640;
    model->clockDefaultTop = 512;
    model->LoadFromBytes(data, size);
    if (std::strlen(model->header.title) >= sizeof model->header.title)
        std::abort();
    for (const CategoryRecord &c : model->categories) {
        if (std::strlen(c.name) >= sizeof c.name || std::strlen(c.description) >= sizeof c.description)
            std::abort();
        for (const LinkRecord &l : c.links)
            if (std::strlen(l.path) >= sizeof l.path || std::strlen(l.name) >= sizeof l.name)
                std::abort();
        volatile bool touched = c.lockedOpen || c.expanded; // UBSan checks the bool loads
        (void)touched;
    }
    volatile int links = model->LinkCount(0) + model->CategoryCount();
    (void)links;
    for (int role = -1; role < 10; ++role)
        (void)model->GetColour(role);
    (void)KVUIOperationClass::DockPositionText(model->settings.dockPosition);
    return 0;
}
