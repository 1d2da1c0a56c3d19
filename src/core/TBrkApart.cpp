#include "core/TBrkApart.h"

void TBrkApart::Split()
{
    StringList.clear();
    QString rest = BaseString;
    for (;;) {
        // An empty delimiter is never found, so the whole text is one piece.
        const int at = BreakString.isEmpty() ? -1 : rest.indexOf(BreakString);
        const QString piece = at < 0 ? rest : rest.left(at);
        if (!piece.isEmpty() || AllowEmptyString) {
            StringList.append(piece);
        }
        if (at < 0) {
            break;
        }
        rest.remove(0, at + BreakString.size());
    }
}
