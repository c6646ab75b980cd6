// kppDispatchStreamPayload: the stream family of one update.
#pragma once

#include "payload/document_dispatch.h"
#include "payload/update_documents.h"

// Builds and sends, each as stream-stats and in this order: "agent_status" (the status with
// the agent's versions), "interfaces", "endpoints", "interface_stats" and "global_stats". What
// `dispatch` throws ends the family there.
void kppDispatchStreamPayload(const kppUpdateDocuments& documents,
                              const kppDocumentDispatch& dispatch);
