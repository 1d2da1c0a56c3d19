#include "mailbox/TFormMailList.h"

int probeWindow(const TFormMailList& window)
{
    return window.MessageRows();
}
