#pragma once

// Registers the program's compiled-in pictures and sounds; safe to call more than once.
void InitMailvaneAssets();
