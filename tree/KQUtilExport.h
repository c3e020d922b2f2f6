// What libkqutil.so exports: the tree's classes and helpers marked KQUTIL_API, which the
// program and the modules call. The library is built with hidden visibility, so its inner
// helpers stay out of the modules' reach and the dynamic symbol table stays small.
#pragma once

#define KQUTIL_API __attribute__((visibility("default")))
