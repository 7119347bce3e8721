// Background pictures: a picture file, or a random one from a folder, becomes a
// power-of-two background texture.
#pragma once

#include "image/Texture.h"

bool loadPicFile(const char* path, Texture* texture, int detail);
bool LoadPicture(const char* folder, Texture* texture, int detail);
bool ChooseRandomImageFile(const char* folder, char* name);
bool FindNthFile(const char* folder, char* name, const char* extension, int n);
int CountFiles(const char* folder, const char* extension);
