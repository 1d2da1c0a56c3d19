#include "MailvaneAssets.h"

#include <QtGlobal>

static void initResources()
{
    Q_INIT_RESOURCE(mailvane);
}

void InitMailvaneAssets()
{
    static bool done = false;
    if (!done) {
        done = true;
        initResources();
    }
}
