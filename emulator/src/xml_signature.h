// Enveloped XML signatures (XML-DSig) as fiscal documents carry them:
// RSA-SHA256 over the canonical form (C14N 1.0, no comments) of the signed
// element's SignedInfo, whose one reference is the element itself by its Id,
// with a SHA-256 digest; the certificate travels in KeyInfo.
#pragma once

#include <libxml/tree.h>

#include <string>

#include "signing_key.h"

namespace satemu {

// The canonical form of `element` and everything in it, with the namespaces
// it inherits; false when libxml2 cannot make it.
bool CanonicalForm(xmlDoc* doc, xmlNode* element, std::string* out);

// Appends a Signature element to the document's root, signing `element` (an
// element that carries an Id attribute) with `key`.
bool SignEnveloped(xmlDoc* doc, xmlNode* element, const SigningKey& key, std::string* error);

}  // namespace satemu
