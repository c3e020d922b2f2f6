// What libkqgraph.so exports: the chart class marked KQGRAPH_API. The library is built with
// hidden visibility, so its drawing helpers stay inside it.
#pragma once

#define KQGRAPH_API __attribute__((visibility("default")))
