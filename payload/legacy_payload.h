// kppDispatchLegacyPayload: the legacy family of one update.
#pragma once

#include "payload/document_dispatch.h"
#include "payload/interface_flows.h"
#include "payload/update_documents.h"

// Builds and sends, in order: the legacy document (the status, "version", the update's flows by
// interface, "interfaces", "devices" and "stats") as legacy-http, then "agent_hello" and
// "agent_status" as legacy-socket. The flow encodings move out of `interface_flows` into the
// document, which is emptied. What `dispatch` throws ends the family there.
void kppDispatchLegacyPayload(const kppUpdateDocuments& documents,
                              kppInterfaceFlows& interface_flows,
                              const kppDocumentDispatch& dispatch);
