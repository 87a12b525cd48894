#include "core/rdf/rdfxml_reader.h"

#ifndef XML_DTD
#define XML_DTD 1  // the system expat is built with it; it declares the entity guard
#endif
#include <cxxabi.h>
#include <expat.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "core/common/flat_table.h"
#include "core/common/interrupt.h"
#include "core/rdf/blank_ids.h"
#include "core/rdf/byte_input.h"
#include "core/rdf/expansion_budget.h"
#include "core/rdf/iri.h"
#include "core/rdf/lang_tag.h"
#include "core/rdf/unicode.h"

namespace qg::rdf {
namespace {

constexpr char kNsSep = '\x01';  // cannot occur in an XML document
constexpr std::string_view kXmlNs = "http://www.w3.org/XML/1998/namespace";

// expat allocates through operator new, as the rest of the readers do: one
// way to run out of memory, reported the same way, and one place to make
// allocations fail in tests. Each block keeps its size ahead of it for
// realloc. A failed allocation is counted: expat does not always report it
// as such (a namespace binding it could not store reads as an unbound
// prefix), so any error after one is taken for running out of memory.
constexpr size_t kXmlBlockHeader = alignof(std::max_align_t);
thread_local uint64_t xml_failed_allocations = 0;
void* XMLCALL xml_malloc(size_t n) {
  auto* p = static_cast<char*>(::operator new(n + kXmlBlockHeader, std::nothrow));
  if (p == nullptr) {
    ++xml_failed_allocations;
    return nullptr;
  }
  std::memcpy(p, &n, sizeof n);
  return p + kXmlBlockHeader;
}
void XMLCALL xml_free(void* p) {
  if (p != nullptr) ::operator delete(static_cast<char*>(p) - kXmlBlockHeader);
}
void* XMLCALL xml_realloc(void* p, size_t n) {
  if (p == nullptr) return xml_malloc(n);
  size_t old;
  std::memcpy(&old, static_cast<char*>(p) - kXmlBlockHeader, sizeof old);
  void* fresh = xml_malloc(n);
  if (fresh == nullptr) return nullptr;  // p stays valid, as realloc leaves it
  std::memcpy(fresh, p, std::min(old, n));
  xml_free(p);
  return fresh;
}
constexpr XML_Memory_Handling_Suite kXmlMemory{xml_malloc, xml_realloc, xml_free};

// ---------------------------------------------------------------------------
// Names

// An expanded name as expat reports it with triplets: "uri\1local\1prefix",
// "uri\1local" or "local".
struct XmlName {
  std::string_view ns;
  std::string_view local;
  std::string_view prefix;
  bool has_ns = false;
};

XmlName split_name(const char* raw) {
  XmlName n;
  std::string_view s(raw);
  const size_t a = s.find(kNsSep);
  if (a == std::string_view::npos) {
    n.local = s;
    return n;
  }
  n.has_ns = true;
  n.ns = s.substr(0, a);
  const size_t b = s.find(kNsSep, a + 1);
  if (b == std::string_view::npos) {
    n.local = s.substr(a + 1);
  } else {
    n.local = s.substr(a + 1, b - a - 1);
    n.prefix = s.substr(b + 1);
  }
  return n;
}

bool is_rdf(const XmlName& n) { return n.has_ns && n.ns == kRdfNs; }

bool is_name_start(int32_t c) { return c == '_' || is_pn_chars_base(c); }
bool is_name_char(int32_t c) {
  return is_name_start(c) || c == '-' || c == '.' || is_ascii_digit(c) || c == 0xB7 ||
         (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// XML NCName (a Name without ':').
bool is_ncname(std::string_view s) {
  if (s.empty()) return false;
  const char* p = s.data();
  const char* const e = p + s.size();
  bool first = true;
  while (p < e) {
    int len = 0;
    const int32_t c = decode_utf8(p, e, &len);
    if (c < 0) return false;
    if (first ? !is_name_start(c) : !is_name_char(c)) return false;
    first = false;
    p += len;
  }
  return true;
}

bool is_xml_whitespace(std::string_view s) {
  for (char c : s)
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return false;
  return true;
}

// Syntax names of the rdf: namespace that neither node nor property
// elements may use.
bool is_core_syntax_term(std::string_view local) {
  return local == "RDF" || local == "ID" || local == "about" || local == "parseType" ||
         local == "resource" || local == "nodeID" || local == "datatype";
}
bool is_old_term(std::string_view local) {
  return local == "aboutEach" || local == "aboutEachPrefix" || local == "bagID";
}

// ---------------------------------------------------------------------------
// Frames

enum class XState : uint8_t {
  Document,        // no element open yet
  Rdf,             // inside rdf:RDF: node elements follow
  Node,            // inside a node element: property elements follow
  Property,        // property element, content not known yet
  PropertyObject,  // property element whose node element has been read
  Resource,        // rdf:parseType="Resource": property elements follow
  Collection,      // rdf:parseType="Collection": node elements follow
  Literal,         // rdf:parseType="Literal": XML content is captured
};

struct NodeRef {
  TermKind kind = TermKind::None;
  std::string value;
  // The sink's word for this term (rdf_types.h); zeroed by every write to
  // kind or value after the term was first handed out. A copy keeps it, as
  // it keeps the text.
  mutable uint64_t memo = 0;
  Term term() const { return Term{kind, value, {}, {}, &memo}; }
};

struct Frame {
  XState state = XState::Document;
  uint32_t base = 0;  // index into XmlReader::bases_
  uint32_t lang = 0;  // index into XmlReader::langs_
  // Sizes of bases_ and langs_ before this element's xml:base/xml:lang.
  size_t base_mark = 0;
  size_t lang_mark = 0;
  // Node, Resource: the subject and the rdf:li counter.
  NodeRef subject;
  uint64_t li = 0;
  // Property elements.
  std::string predicate;
  std::string reify;  // IRI of rdf:ID, "" when none
  std::string datatype;
  std::string text;
  bool has_resource = false;
  bool has_node_id = false;
  NodeRef object;  // from rdf:resource or rdf:nodeID
  std::vector<std::pair<std::string, std::string>> prop_attrs;
  bool saw_child = false;
  // Collection: the last list node ("" before the first item).
  NodeRef list_node;
  // Literal: namespace declarations rendered so far, as (prefix, uri).
  size_t literal_ns_mark = 0;

  void reset(XState s, uint32_t b, uint32_t l) {
    state = s;
    base = b;
    lang = l;
    subject.kind = TermKind::None;
    subject.value.clear();
    subject.memo = 0;
    li = 0;
    predicate.clear();
    reify.clear();
    datatype.clear();
    text.clear();
    has_resource = has_node_id = false;
    object.kind = TermKind::None;
    object.value.clear();
    object.memo = 0;
    prop_attrs.clear();
    saw_child = false;
    list_node.kind = TermKind::None;
    list_node.value.clear();
    list_node.memo = 0;
  }
};

struct Attr {
  XmlName name;
  std::string_view value;
};

// ---------------------------------------------------------------------------

class XmlReader {
 public:
  XmlReader(std::string_view base, StatementSink sink) : sink_(sink) {
    bases_.emplace_back();
    langs_.emplace_back();
    initial_base_ = base;
  }
  ~XmlReader() {
    if (parser_ != nullptr) XML_ParserFree(parser_);
  }

  qg::Status init() {
    if (!initial_base_.empty()) {
      auto parsed = BaseIri::parse(initial_base_);
      if (!parsed)
        return qg::Err(qg::ErrorKind::Refused, "Invalid base IRI <" + std::string(initial_base_) +
                                                   ">: " + parsed.error().message);
      bases_[0] = std::move(*parsed);
    }
    failed_allocations_at_start_ = xml_failed_allocations;
    constexpr XML_Char kSep[] = {kNsSep, 0};
    parser_ = XML_ParserCreate_MM("UTF-8", &kXmlMemory, kSep);
    if (parser_ == nullptr) throw std::bad_alloc();
    XML_SetReturnNSTriplet(parser_, 1);
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, &XmlReader::on_start, &XmlReader::on_end);
    XML_SetCharacterDataHandler(parser_, &XmlReader::on_text);
    XML_SetProcessingInstructionHandler(parser_, &XmlReader::on_pi);
    XML_SetCommentHandler(parser_, &XmlReader::on_comment);
    XML_SetExternalEntityRefHandler(parser_, &XmlReader::on_external_entity);
    XML_SetSkippedEntityHandler(parser_, &XmlReader::on_skipped_entity);
    XML_SetParamEntityParsing(parser_, XML_PARAM_ENTITY_PARSING_NEVER);
    if (!XML_SetBillionLaughsAttackProtectionMaximumAmplification(parser_, kXmlMaxAmplification) ||
        !XML_SetBillionLaughsAttackProtectionActivationThreshold(parser_,
                                                                 kXmlAmplificationThreshold))
      throw qg::InternalFault("expat refused the entity amplification limits");
    return {};
  }

  // Feeds one chunk; false once the parse has ended (error or stop).
  bool feed(const char* data, size_t len, bool final) {
    if (XML_Parse(parser_, data, static_cast<int>(len), final ? XML_TRUE : XML_FALSE) ==
        XML_STATUS_OK)
      return true;
    note_expat_error();
    return false;
  }
  bool feed_stream(FileSource& source) {
    for (;;) {
      void* buf = XML_GetBuffer(parser_, static_cast<int>(ByteInput::kChunkSize));
      if (buf == nullptr) throw std::bad_alloc();
      const size_t got = source.read(static_cast<char*>(buf), ByteInput::kChunkSize);
      if (got == 0 && !source.error().empty()) {
        error_ = source.error();
        return false;
      }
      const bool final = got == 0;
      if (XML_ParseBuffer(parser_, static_cast<int>(got), final ? XML_TRUE : XML_FALSE) !=
          XML_STATUS_OK) {
        note_expat_error();
        return false;
      }
      if (final) return true;
    }
  }

  qg::Status finish() {
    if (pending_exception_) std::rethrow_exception(pending_exception_);
    if (stopped_) return {};
    if (!error_.empty()) return qg::Err(qg::ErrorKind::Parse, error_);
    return {};
  }

 private:
  // ---- expat trampolines: nothing unwinds through expat but a thread's end --

  template <class F>
  static void guarded(void* data, F&& body) {
    auto* self = static_cast<XmlReader*>(data);
    if (self->aborted_) return;
    try {
      body(*self);
    } catch (abi::__forced_unwind&) {
      throw;  // the thread is ending (interrupt.h): no parser code runs again
    } catch (...) {
      self->pending_exception_ = std::current_exception();
      self->abort();
    }
  }
  static void XMLCALL on_start(void* d, const XML_Char* name, const XML_Char** atts) {
    guarded(d, [&](XmlReader& r) { r.start_element(name, atts); });
  }
  static void XMLCALL on_end(void* d, const XML_Char* name) {
    guarded(d, [&](XmlReader& r) { r.end_element(name); });
  }
  static void XMLCALL on_text(void* d, const XML_Char* s, int len) {
    guarded(d, [&](XmlReader& r) { r.characters(std::string_view(s, static_cast<size_t>(len))); });
  }
  static void XMLCALL on_pi(void* d, const XML_Char* target, const XML_Char* data) {
    guarded(d, [&](XmlReader& r) { r.processing_instruction(target, data); });
  }
  static void XMLCALL on_comment(void* d, const XML_Char* text) {
    guarded(d, [&](XmlReader& r) { r.comment(text); });
  }
  static int XMLCALL on_external_entity(XML_Parser p, const XML_Char*, const XML_Char*,
                                        const XML_Char* system_id, const XML_Char*) {
    guarded(XML_GetUserData(p), [&](XmlReader& r) {
      r.fail(std::string("External entity '") + (system_id ? system_id : "") + "' is not loaded");
    });
    return XML_STATUS_ERROR;
  }
  static void XMLCALL on_skipped_entity(void* d, const XML_Char* name, int) {
    guarded(d, [&](XmlReader& r) {
      r.fail(std::string("Reference to undeclared or external entity '") + name + "'");
    });
  }

  // ---- errors ------------------------------------------------------------

  TextPosition position() const {
    return {static_cast<uint64_t>(XML_GetCurrentLineNumber(parser_)),
            static_cast<uint64_t>(XML_GetCurrentColumnNumber(parser_)) + 1};
  }
  void abort() {
    if (!aborted_) {
      aborted_ = true;
      XML_StopParser(parser_, XML_FALSE);
    }
  }
  void fail(std::string message) { fail(std::move(message), position()); }
  void fail(std::string message, TextPosition at) {
    if (error_.empty()) error_ = std::move(message) + position_suffix(at);
    abort();
  }
  // Counts bytes written by namespace or base expansion against the budget.
  bool count_expansion(size_t bytes) {
    const auto read = static_cast<uint64_t>(XML_GetCurrentByteIndex(parser_)) +
                      static_cast<uint64_t>(XML_GetCurrentByteCount(parser_));
    if (expansion_.spend(bytes, read)) return true;
    fail(expansion_limit_message());
    return false;
  }
  void note_expat_error() {
    if (aborted_ || !error_.empty()) return;
    if (XML_GetErrorCode(parser_) == XML_ERROR_NO_MEMORY ||
        xml_failed_allocations != failed_allocations_at_start_)
      throw std::bad_alloc();
    error_ = std::string("XML error: ") + XML_ErrorString(XML_GetErrorCode(parser_)) +
             position_suffix(position());
  }

  // ---- output ------------------------------------------------------------

  bool emit(const Term& s, std::string_view p, const Term& o) {
    Statement st{s, Term{TermKind::Iri, p, {}, {}}, o, Term{}};
    if (!sink_(st)) {
      stopped_ = true;
      abort();
      return false;
    }
    return true;
  }
  static Term iri_term(std::string_view iri) { return Term{TermKind::Iri, iri, {}, {}}; }

  Term literal_term(std::string_view text, std::string_view datatype, uint32_t lang) const {
    Term t{TermKind::Literal, text, datatype, {}};
    if (datatype.empty()) {
      const std::string& l = langs_[lang];
      if (l.empty()) {
        t.datatype = kXsdString;
      } else {
        t.datatype = kRdfLangString;
        t.language = l;
      }
    }
    return t;
  }

  // Emits (s p o) and, when `reify` names a statement IRI, its reification.
  bool emit_with_reification(const Term& s, std::string_view p, const Term& o,
                             std::string_view reify) {
    if (!emit(s, p, o)) return false;
    if (reify.empty()) return true;
    static const std::string kStatement = std::string(kRdfNs) + "Statement";
    static const std::string kSubject = std::string(kRdfNs) + "subject";
    static const std::string kPredicate = std::string(kRdfNs) + "predicate";
    static const std::string kObject = std::string(kRdfNs) + "object";
    const Term r = iri_term(reify);
    return emit(r, kRdfType, iri_term(kStatement)) && emit(r, kSubject, s) &&
           emit(r, kPredicate, iri_term(p)) && emit(r, kObject, o);
  }

  // ---- IRIs --------------------------------------------------------------

  // Resolves `ref` against the base in scope into `out`.
  bool resolve(std::string_view ref, uint32_t base, std::string& out) {
    const BaseIri& b = bases_[base];
    if (b.empty()) {
      if (!has_iri_scheme(ref)) {
        fail("Relative IRI reference '" + std::string(ref) + "' with no base IRI in scope");
        return false;
      }
      out.assign(ref);
      auto st = validate_absolute_iri(out);
      if (!st) {
        fail("Invalid IRI <" + out + ">: " + st.error().message);
        return false;
      }
      return true;
    }
    if (has_iri_scheme(ref)) {
      out.assign(ref);
      auto st = validate_absolute_iri(out);
      if (!st) {
        fail("Invalid IRI <" + out + ">: " + st.error().message);
        return false;
      }
      return true;
    }
    auto st = b.resolve(ref, out);
    if (!st) {
      fail("Invalid IRI reference '" + std::string(ref) + "': " + st.error().message);
      return false;
    }
    return count_expansion(out.size());
  }

  // The IRI of an rdf:ID value: base "#" id; it must be new in the document.
  bool id_iri(std::string_view id, uint32_t base, std::string& out) {
    if (!is_ncname(id)) {
      fail("rdf:ID '" + std::string(id) + "' is not an XML NCName");
      return false;
    }
    scratch_.assign("#");
    scratch_.append(id);
    if (!resolve(scratch_, base, out)) return false;
    if (!ids_seen_.insert(out).second) {
      fail("rdf:ID '" + std::string(id) + "' is used twice (" + out + ")");
      return false;
    }
    return true;
  }

  bool element_iri(const XmlName& n, std::string& out) {
    if (!n.has_ns) {
      fail("Element '" + std::string(n.local) + "' has no namespace");
      return false;
    }
    out.assign(n.ns);
    out.append(n.local);
    auto st = validate_absolute_iri(out);
    if (!st) {
      fail("Invalid IRI <" + out + ">: " + st.error().message);
      return false;
    }
    return true;
  }

  // ---- frames ------------------------------------------------------------

  Frame& push(XState state, uint32_t base, uint32_t lang) {
    if (depth_ == frames_.size()) frames_.emplace_back();
    Frame& f = frames_[depth_++];
    f.reset(state, base, lang);
    f.base_mark = base_mark_;
    f.lang_mark = lang_mark_;
    return f;
  }
  Frame* top() { return depth_ == 0 ? nullptr : &frames_[depth_ - 1]; }

  // Applies xml:base and xml:lang of an element; updates the indices.
  bool scope_attributes(const std::vector<Attr>& attrs, uint32_t& base, uint32_t& lang) {
    for (const Attr& a : attrs) {
      if (!a.name.has_ns || a.name.ns != kXmlNs) continue;
      if (a.name.local == "base") {
        std::string resolved;
        // Per RFC 3986 the fragment of a base plays no part in resolution.
        if (!resolve(a.value, base, resolved)) return false;
        auto parsed = BaseIri::parse(resolved);
        if (!parsed) {
          fail("Invalid xml:base: " + parsed.error().message);
          return false;
        }
        bases_.push_back(std::move(*parsed));
        base = static_cast<uint32_t>(bases_.size() - 1);
      } else if (a.name.local == "lang") {
        if (!a.value.empty() && !is_well_formed_language_tag(a.value)) {
          fail("Language tag '" + std::string(a.value) + "' is not well-formed");
          return false;
        }
        langs_.emplace_back(a.value);
        lang = static_cast<uint32_t>(langs_.size() - 1);
      }
    }
    return true;
  }

  // Collects attributes; unqualified about/ID/resource/parseType/type are
  // read as their rdf: forms, other unqualified ones are refused, and
  // attributes of the xml namespace other than base/lang are ignored.
  bool collect_attributes(const XML_Char** atts, std::vector<Attr>& out) {
    out.clear();
    for (size_t i = 0; atts[i] != nullptr; i += 2) {
      Attr a{split_name(atts[i]), std::string_view(atts[i + 1])};
      if (!a.name.has_ns) {
        const std::string_view l = a.name.local;
        if (l == "about" || l == "ID" || l == "resource" || l == "parseType" || l == "type") {
          a.name.has_ns = true;
          a.name.ns = kRdfNs;
        } else if (l.size() >= 3 && (l[0] == 'x' || l[0] == 'X') && (l[1] == 'm' || l[1] == 'M') &&
                   (l[2] == 'l' || l[2] == 'L')) {
          continue;
        } else {
          fail("Unqualified attribute '" + std::string(l) + "' is not allowed");
          return false;
        }
      }
      if (a.name.ns == kXmlNs && a.name.local != "base" && a.name.local != "lang") continue;
      out.push_back(a);
    }
    return true;
  }

  // ---- events ------------------------------------------------------------

  void start_element(const XML_Char* raw_name, const XML_Char** atts) {
    poll_();
    // Expat has expanded the element's and its attributes' names by their
    // namespaces.
    size_t expanded = expanded_size(split_name(raw_name));
    for (size_t i = 0; atts[i] != nullptr; i += 2) expanded += expanded_size(split_name(atts[i]));
    if (!count_expansion(expanded)) return;
    Frame* parent = top();
    if (parent != nullptr && parent->state == XState::Literal) {
      literal_start(*parent, raw_name, atts);
      return;
    }
    const XmlName name = split_name(raw_name);
    std::vector<Attr>& attrs = attrs_;
    if (!collect_attributes(atts, attrs)) return;
    uint32_t base = parent ? parent->base : 0;
    uint32_t lang = parent ? parent->lang : 0;
    base_mark_ = bases_.size();
    lang_mark_ = langs_.size();
    if (!scope_attributes(attrs, base, lang)) return;

    const XState where = parent ? parent->state : XState::Document;
    switch (where) {
      case XState::Document:
        if (is_rdf(name) && name.local == "RDF") {
          for (const Attr& a : attrs) {
            if (a.name.ns != kXmlNs) {
              fail("Attribute '" + std::string(a.name.local) + "' is not allowed on rdf:RDF");
              return;
            }
          }
          push(XState::Rdf, base, lang);
          return;
        }
        node_element(name, attrs, base, lang, nullptr);
        return;
      case XState::Rdf: node_element(name, attrs, base, lang, nullptr); return;
      case XState::Node:
      case XState::Resource: property_element(name, attrs, base, lang); return;
      case XState::Property:
        if (!is_xml_whitespace(parent->text)) {
          fail("Text and elements are mixed in a property element");
          return;
        }
        if (parent->has_resource || parent->has_node_id || !parent->datatype.empty() ||
            !parent->prop_attrs.empty()) {
          fail(
              "A property element with rdf:resource, rdf:nodeID, rdf:datatype or property "
              "attributes must be empty");
          return;
        }
        parent->state = XState::PropertyObject;
        node_element(name, attrs, base, lang, parent);
        return;
      case XState::PropertyObject:
        fail("A property element holds at most one node element");
        return;
      case XState::Collection: node_element(name, attrs, base, lang, parent); return;
      case XState::Literal: return;  // handled above
    }
  }

  static size_t expanded_size(const XmlName& n) {
    return n.has_ns ? n.ns.size() + n.local.size() : 0;
  }

  // nodeElement. `holder` is the enclosing property or collection frame.
  void node_element(const XmlName& name, const std::vector<Attr>& attrs, uint32_t base,
                    uint32_t lang, Frame* holder) {
    if (is_rdf(name) &&
        (is_core_syntax_term(name.local) || name.local == "li" || is_old_term(name.local))) {
      fail("rdf:" + std::string(name.local) + " is not allowed as a node element");
      return;
    }
    std::string type_iri;
    if (!element_iri(name, type_iri)) return;

    NodeRef subject;
    const Attr* id = nullptr;
    const Attr* node_id = nullptr;
    const Attr* about = nullptr;
    for (const Attr& a : attrs) {
      if (!is_rdf(a.name)) continue;
      const std::string_view l = a.name.local;
      if (l == "ID") id = &a;
      else if (l == "nodeID") node_id = &a;
      else if (l == "about") about = &a;
    }
    if ((id != nullptr) + (node_id != nullptr) + (about != nullptr) > 1) {
      fail("A node element takes only one of rdf:ID, rdf:nodeID and rdf:about");
      return;
    }
    if (id != nullptr) {
      subject.kind = TermKind::Iri;
      if (!id_iri(id->value, base, subject.value)) return;
    } else if (node_id != nullptr) {
      if (!is_ncname(node_id->value)) {
        fail("rdf:nodeID '" + std::string(node_id->value) + "' is not an XML NCName");
        return;
      }
      subject.kind = TermKind::BlankNode;
      subject.value.assign(node_id->value);
    } else if (about != nullptr) {
      subject.kind = TermKind::Iri;
      if (!resolve(about->value, base, subject.value)) return;
    } else {
      subject.kind = TermKind::BlankNode;
      ids_.next(subject.value);
    }

    // Link the node to what holds it.
    if (holder != nullptr && holder->state == XState::PropertyObject) {
      if (!emit_with_reification(top_owner_subject(), holder->predicate, subject.term(),
                                 holder->reify))
        return;
    } else if (holder != nullptr && holder->state == XState::Collection) {
      NodeRef cell;
      cell.kind = TermKind::BlankNode;
      ids_.next(cell.value);
      if (holder->list_node.kind == TermKind::None) {
        if (!emit_with_reification(top_owner_subject(), holder->predicate, cell.term(),
                                   holder->reify))
          return;
      } else if (!emit(holder->list_node.term(), kRdfRest, cell.term())) {
        return;
      }
      if (!emit(cell.term(), kRdfFirst, subject.term())) return;
      holder->list_node = std::move(cell);
    }

    if (!(is_rdf(name) && name.local == "Description")) {
      if (!emit(subject.term(), kRdfType, iri_term(type_iri))) return;
    }
    // Property attributes.
    for (const Attr& a : attrs) {
      if (a.name.ns == kXmlNs) continue;
      if (is_rdf(a.name)) {
        const std::string_view l = a.name.local;
        if (l == "ID" || l == "nodeID" || l == "about") continue;
        if (is_core_syntax_term(l) || l == "li" || l == "Description" || is_old_term(l)) {
          fail("rdf:" + std::string(l) + " is not allowed on a node element");
          return;
        }
      }
      if (!property_attribute(subject, a, base, lang)) return;
    }
    Frame& f = push(XState::Node, base, lang);
    f.subject = std::move(subject);
  }

  // The subject of the node element (or parseType="Resource" node) that
  // encloses the frame on top of the stack.
  Term top_owner_subject() const { return frames_[depth_ - 2].subject.term(); }

  // propertyAttr on subject: rdf:type gives an IRI object, others literals.
  bool property_attribute(const NodeRef& subject, const Attr& a, uint32_t base, uint32_t lang) {
    std::string pred(a.name.ns);
    pred.append(a.name.local);
    auto st = validate_absolute_iri(pred);
    if (!st) {
      fail("Invalid IRI <" + pred + ">: " + st.error().message);
      return false;
    }
    if (is_rdf(a.name) && a.name.local == "type") {
      std::string type;
      if (!resolve(a.value, base, type)) return false;
      return emit(subject.term(), pred, iri_term(type));
    }
    return emit(subject.term(), pred, literal_term(a.value, {}, lang));
  }

  void property_element(const XmlName& name, const std::vector<Attr>& attrs, uint32_t base,
                        uint32_t lang) {
    Frame& owner = *top();
    if (is_rdf(name) && (is_core_syntax_term(name.local) || name.local == "Description" ||
                         is_old_term(name.local))) {
      fail("rdf:" + std::string(name.local) + " is not allowed as a property element");
      return;
    }
    std::string predicate;
    if (is_rdf(name) && name.local == "li") {
      predicate.assign(kRdfNs);
      predicate.push_back('_');
      predicate.append(std::to_string(++owner.li));
    } else if (!element_iri(name, predicate)) {
      return;
    }
    const Attr* id = nullptr;
    const Attr* parse_type = nullptr;
    const Attr* resource = nullptr;
    const Attr* node_id = nullptr;
    const Attr* datatype = nullptr;
    std::vector<const Attr*> others;
    for (const Attr& a : attrs) {
      if (a.name.ns == kXmlNs) continue;
      if (is_rdf(a.name)) {
        const std::string_view l = a.name.local;
        if (l == "ID") {
          id = &a;
          continue;
        }
        if (l == "parseType") {
          parse_type = &a;
          continue;
        }
        if (l == "resource") {
          resource = &a;
          continue;
        }
        if (l == "nodeID") {
          node_id = &a;
          continue;
        }
        if (l == "datatype") {
          datatype = &a;
          continue;
        }
        if (is_core_syntax_term(l) || l == "li" || l == "Description" || is_old_term(l)) {
          fail("rdf:" + std::string(l) + " is not allowed on a property element");
          return;
        }
      }
      others.push_back(&a);
    }
    if (resource != nullptr && node_id != nullptr) {
      fail("rdf:resource and rdf:nodeID exclude each other");
      return;
    }
    if (parse_type != nullptr &&
        (resource != nullptr || node_id != nullptr || datatype != nullptr || !others.empty())) {
      fail("rdf:parseType takes no rdf:resource, rdf:nodeID, rdf:datatype or property attributes");
      return;
    }
    if (datatype != nullptr && (resource != nullptr || node_id != nullptr || !others.empty())) {
      fail("rdf:datatype takes no rdf:resource, rdf:nodeID or property attributes");
      return;
    }
    std::string reify;
    if (id != nullptr && !id_iri(id->value, base, reify)) return;

    const Term subject = owner.subject.term();
    if (parse_type != nullptr) {
      const std::string_view kind = parse_type->value;
      if (kind == "Resource") {
        NodeRef node;
        node.kind = TermKind::BlankNode;
        ids_.next(node.value);
        if (!emit_with_reification(subject, predicate, node.term(), reify)) return;
        Frame& f = push(XState::Resource, base, lang);
        f.subject = std::move(node);
        return;
      }
      if (kind == "Collection") {
        Frame& f = push(XState::Collection, base, lang);
        f.predicate = std::move(predicate);
        f.reify = std::move(reify);
        return;
      }
      // "Literal" and every other value.
      Frame& f = push(XState::Literal, base, lang);
      f.predicate = std::move(predicate);
      f.reify = std::move(reify);
      f.literal_ns_mark = literal_ns_.size();
      literal_depth_ = 0;
      return;
    }
    Frame& f = push(XState::Property, base, lang);
    f.predicate = std::move(predicate);
    f.reify = std::move(reify);
    if (datatype != nullptr) {
      if (!resolve(datatype->value, base, f.datatype)) return;
    }
    if (resource != nullptr) {
      f.has_resource = true;
      f.object.kind = TermKind::Iri;
      if (!resolve(resource->value, base, f.object.value)) return;
    } else if (node_id != nullptr) {
      if (!is_ncname(node_id->value)) {
        fail("rdf:nodeID '" + std::string(node_id->value) + "' is not an XML NCName");
        return;
      }
      f.has_node_id = true;
      f.object.kind = TermKind::BlankNode;
      f.object.value.assign(node_id->value);
    }
    for (const Attr* a : others) {
      std::string pred(a->name.ns);
      pred.append(a->name.local);
      std::string value(a->value);
      if (is_rdf(a->name) && a->name.local == "type") {
        std::string type;
        if (!resolve(a->value, base, type)) return;
        value = std::move(type);
        pred.insert(0, 1, '\x01');  // marks an IRI-valued rdf:type attribute
      }
      f.prop_attrs.emplace_back(std::move(pred), std::move(value));
    }
  }

  void end_element(const XML_Char* raw_name) {
    Frame* f = top();
    if (f == nullptr) return;
    if (f->state == XState::Literal && literal_depth_ > 0) {
      literal_end(*f, raw_name);
      return;
    }
    switch (f->state) {
      case XState::Property:
        if (!end_property(*f)) return;
        break;
      case XState::Collection: {
        const Term s = top_owner_subject();
        if (f->list_node.kind == TermKind::None) {
          if (!emit_with_reification(s, f->predicate, iri_term(kRdfNil), f->reify)) return;
        } else if (!emit(f->list_node.term(), kRdfRest, iri_term(kRdfNil))) {
          return;
        }
        break;
      }
      case XState::Literal: {
        const Term s = top_owner_subject();
        literal_ns_.resize(f->literal_ns_mark);
        if (!emit_with_reification(s, f->predicate,
                                   Term{TermKind::Literal, f->text, kRdfXmlLiteral, {}}, f->reify))
          return;
        break;
      }
      default: break;
    }
    bases_.resize(f->base_mark);
    langs_.resize(f->lang_mark);
    --depth_;
  }

  bool end_property(Frame& f) {
    const Term s = top_owner_subject();
    if (!f.text.empty()) {
      // literalPropertyElt
      if (f.has_resource || f.has_node_id || !f.prop_attrs.empty()) {
        fail(
            "A property element with rdf:resource, rdf:nodeID or property attributes must be "
            "empty");
        return false;
      }
      if (find_invalid_utf8(f.text) != std::string::npos) {
        fail("Invalid UTF-8 in a literal");
        return false;
      }
      return emit_with_reification(s, f.predicate, literal_term(f.text, f.datatype, f.lang),
                                   f.reify);
    }
    // emptyPropertyElt
    if (!f.has_resource && !f.has_node_id && f.prop_attrs.empty()) {
      return emit_with_reification(s, f.predicate, literal_term("", f.datatype, f.lang), f.reify);
    }
    NodeRef object = f.object;
    if (!f.has_resource && !f.has_node_id) {
      object.memo = 0;
      object.kind = TermKind::BlankNode;
      ids_.next(object.value);
    }
    if (!emit_with_reification(s, f.predicate, object.term(), f.reify)) return false;
    for (const auto& [pred, value] : f.prop_attrs) {
      if (!pred.empty() && pred[0] == '\x01') {
        if (!emit(object.term(), std::string_view(pred).substr(1), iri_term(value))) return false;
      } else if (!emit(object.term(), pred, literal_term(value, {}, f.lang))) {
        return false;
      }
    }
    return true;
  }

  void characters(std::string_view s) {
    Frame* f = top();
    if (f == nullptr) return;
    switch (f->state) {
      case XState::Property: f->text.append(s); return;
      case XState::Literal: escape_text(s, f->text); return;
      default:
        // Expat hands a run of text over in pieces wherever a read ended
        // (line breaks come alone), so the error names the first character
        // that is not whitespace, not the start of the piece.
        if (!is_xml_whitespace(s)) {
          TextPosition at = position();
          at.column += s.find_first_not_of(" \t\r\n");
          fail("Text is not allowed here", at);
        }
        return;
    }
  }

  void processing_instruction(const XML_Char* target, const XML_Char* data) {
    Frame* f = top();
    if (f == nullptr || f->state != XState::Literal) return;
    f->text.append("<?");
    f->text.append(target);
    if (data != nullptr && data[0] != '\0') {
      f->text.push_back(' ');
      f->text.append(data);
    }
    f->text.append("?>");
  }

  void comment(const XML_Char* text) {
    Frame* f = top();
    if (f == nullptr || f->state != XState::Literal) return;
    f->text.append("<!--");
    f->text.append(text);
    f->text.append("-->");
  }

  // ---- rdf:parseType="Literal": exclusive canonical XML ------------------

  static void escape_text(std::string_view s, std::string& out) {
    for (char c : s) {
      switch (c) {
        case '&': out.append("&amp;"); break;
        case '<': out.append("&lt;"); break;
        case '>': out.append("&gt;"); break;
        case '\r': out.append("&#xD;"); break;
        default: out.push_back(c);
      }
    }
  }
  static void escape_attribute(std::string_view s, std::string& out) {
    for (char c : s) {
      switch (c) {
        case '&': out.append("&amp;"); break;
        case '<': out.append("&lt;"); break;
        case '"': out.append("&quot;"); break;
        case '\t': out.append("&#x9;"); break;
        case '\n': out.append("&#xA;"); break;
        case '\r': out.append("&#xD;"); break;
        default: out.push_back(c);
      }
    }
  }

  static void append_qname(const XmlName& n, std::string& out) {
    if (!n.prefix.empty()) {
      out.append(n.prefix);
      out.push_back(':');
    }
    out.append(n.local);
  }

  // The namespace bound to `prefix` by the nearest rendered ancestor.
  const std::string* rendered_ns(const Frame& f, std::string_view prefix) const {
    for (size_t i = literal_ns_.size(); i-- > f.literal_ns_mark;)
      if (literal_ns_[i].prefix == prefix) return &literal_ns_[i].uri;
    return nullptr;
  }

  void literal_start(Frame& f, const XML_Char* raw_name, const XML_Char** atts) {
    const XmlName name = split_name(raw_name);
    struct LitAttr {
      XmlName name;
      std::string_view value;
    };
    std::vector<LitAttr> attrs;
    for (size_t i = 0; atts[i] != nullptr; i += 2)
      attrs.push_back({split_name(atts[i]), atts[i + 1]});
    // Namespaces visibly used by the element and its attributes.
    std::vector<std::pair<std::string_view, std::string_view>> needed;  // prefix, uri
    auto need = [&](std::string_view prefix, std::string_view uri) {
      if (prefix == "xml") return;
      for (const auto& n : needed)
        if (n.first == prefix) return;
      const std::string* have = rendered_ns(f, prefix);
      if (have != nullptr ? *have == uri : uri.empty()) return;
      needed.emplace_back(prefix, uri);
    };
    need(name.prefix, name.has_ns ? name.ns : std::string_view());
    for (const LitAttr& a : attrs)
      if (a.name.has_ns) need(a.name.prefix, a.name.ns);
    size_t rendered = 0;
    for (const auto& n : needed) rendered += n.second.size();
    if (!count_expansion(rendered)) return;
    std::sort(needed.begin(), needed.end());
    std::sort(attrs.begin(), attrs.end(), [](const LitAttr& a, const LitAttr& b) {
      if (a.name.ns != b.name.ns) return a.name.ns < b.name.ns;
      return a.name.local < b.name.local;
    });
    std::string& out = f.text;
    out.push_back('<');
    append_qname(name, out);
    for (const auto& [prefix, uri] : needed) {
      out.append(prefix.empty() ? " xmlns" : " xmlns:");
      out.append(prefix);
      out.append("=\"");
      escape_attribute(uri, out);
      out.push_back('"');
    }
    for (const LitAttr& a : attrs) {
      out.push_back(' ');
      append_qname(a.name, out);
      out.append("=\"");
      escape_attribute(a.value, out);
      out.push_back('"');
    }
    out.push_back('>');
    literal_marks_.push_back(literal_ns_.size());
    for (const auto& [prefix, uri] : needed)
      literal_ns_.push_back({std::string(prefix), std::string(uri)});
    ++literal_depth_;
  }

  void literal_end(Frame& f, const XML_Char* raw_name) {
    const XmlName name = split_name(raw_name);
    f.text.append("</");
    append_qname(name, f.text);
    f.text.push_back('>');
    literal_ns_.resize(literal_marks_.back());
    literal_marks_.pop_back();
    --literal_depth_;
  }

  // ---- state -------------------------------------------------------------

  StatementSink sink_;
  std::string_view initial_base_;
  XML_Parser parser_ = nullptr;
  uint64_t failed_allocations_at_start_ = 0;  // xml_failed_allocations then
  BlankIdGenerator ids_;
  std::deque<Frame> frames_;
  size_t depth_ = 0;
  size_t base_mark_ = 1;
  size_t lang_mark_ = 1;
  std::vector<BaseIri> bases_;
  std::vector<std::string> langs_;
  FlatSet<std::string> ids_seen_;
  std::vector<Attr> attrs_;
  std::string scratch_;
  ExpansionBudget expansion_;
  struct RenderedNs {
    std::string prefix;
    std::string uri;
  };
  std::vector<RenderedNs> literal_ns_;
  std::vector<size_t> literal_marks_;
  int literal_depth_ = 0;
  std::string error_;
  bool aborted_ = false;
  bool stopped_ = false;
  std::exception_ptr pending_exception_;
  Poller poll_;  // once per element
};

}  // namespace

qg::Status read_rdfxml_string(std::string_view text, std::string_view base_iri,
                              StatementSink sink) {
  XmlReader reader(base_iri, sink);
  QG_TRY(reader.init());
  constexpr size_t kPiece = size_t{1} << 20;
  size_t at = 0;
  do {
    const size_t n = std::min(kPiece, text.size() - at);
    const bool final = at + n == text.size();
    if (!reader.feed(text.data() + at, n, final)) break;
    at += n;
    if (final) break;
  } while (true);
  return reader.finish();
}

qg::Status read_rdfxml_stream(FileSource& source, std::string_view base_iri, StatementSink sink) {
  XmlReader reader(base_iri, sink);
  QG_TRY(reader.init());
  reader.feed_stream(source);
  return reader.finish();
}

}  // namespace qg::rdf
