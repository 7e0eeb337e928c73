// The version as text, made from the three numbers the build defines from
// project() in CMakeLists.txt, so that no other file states it. Included by
// C++ and by the resource scripts alike.
#ifndef RESOURCES_VERSION_H
#define RESOURCES_VERSION_H

#define MP_VERSION_STR_(x) #x
#define MP_VERSION_STR(x) MP_VERSION_STR_(x)

// "1.1.0"
#define MP_VERSION_TEXT MP_VERSION_STR(MP_VERSION_MAJOR.MP_VERSION_MINOR.MP_VERSION_PATCH)
// "1.1.0.0", the four-part form of the version resource's strings
#define MP_VERSION_TEXT4 MP_VERSION_STR(MP_VERSION_MAJOR.MP_VERSION_MINOR.MP_VERSION_PATCH.0)

#endif
