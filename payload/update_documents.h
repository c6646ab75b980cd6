// kppUpdateDocuments: the documents of one update (status, interfaces, endpoints, counters), and
// the encoders that fill them.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "kv/json.h"

class kvInterface;

// The stored documents of one update, as the worker takes them over after the end of an update.
struct kppUpdateDocuments {
  json status;
  json interfaces;
  json endpoints;
  json interface_stats;
  json global_stats;
};

// Encodes each interface of `interfaces` under its name into `interfaces_document`, and the
// endpoints of its current endpoint table into `endpoints_document`. Takes each interface's
// endpoint lock while it reads the table; the caller guards the two documents.
void kppEncodeInterfaces(const std::map<std::string, std::shared_ptr<kvInterface>>& interfaces,
                         json& interfaces_document, json& endpoints_document);

// Moves `stored` into `into` and leaves in its place the emptied document of the same kind: an
// object emptied, an array emptied, null left null.
void kppTakeDocument(json& stored, json& into);
