#!/usr/bin/env python3
"""Writes the Skype API classes of the client runtime from their description.

    tools/gen_skype_api.py [ClientRuntime/api/skype_api.txt] [ClientRuntime/api/generated]

Reads the compact description (classes, properties, enumerations, methods,
events) and writes SkypeApi.h, SkypeRecords.h and SkypeApi.cpp: the typed
references and lists, the classes with their readers, methods and callbacks,
the property-cache and event records, the field-descriptor table SkypeFields,
the name and value tables, and the root's factory and dispatch functions.
The output is committed; run this again after changing the description.
"""
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SRC = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "ClientRuntime/api/skype_api.txt")
OUT = sys.argv[2] if len(sys.argv) > 2 else os.path.join(ROOT, "ClientRuntime/api/generated")

# Order of declaration: a class comes after the classes whose enumerations it uses.
ORDER = ["ContactSearch", "Contact", "Account", "Transfer", "Voicemail", "Message", "ContactGroup",
         "Video", "Sms", "Participant", "Conversation", "Skype"]


class Cls:
    def __init__(self, name, modid, ns, record):
        self.name, self.modid, self.ns, self.record = name, int(modid), ns, record
        self.props, self.emap, self.enums, self.methods, self.ids, self.events = [], [], [], [], [], []


def parse_params(text):
    out = []
    for item in [x.strip() for x in text.split(",") if x.strip()]:
        parts = item.split()
        tag, typ, name = int(parts[0]), parts[1], parts[2]
        default = None
        if "=" in name:
            name, default = name.split("=", 1)
        out.append(dict(tag=tag, type=typ, name=name, default=default))
    return out


def parse(path):
    classes, cur = {}, None
    for raw in open(path):
        line = raw.split("#", 1)[0].strip()
        if not line:
            continue
        word, rest = (line.split(None, 1) + [""])[:2]
        if word == "class":
            name, modid, ns, record = rest.split()
            cur = classes[name] = Cls(name, modid, ns, record)
        elif word == "prop":
            name, pid, typ = rest.split()
            cur.props.append(dict(name=name, id=int(pid), type=typ))
        elif word == "emap":
            cur.emap = rest.split()
        elif word == "enum":
            parts = rest.split()
            vals = [(parts[i], int(parts[i + 1])) for i in range(1, len(parts), 2)]
            cur.enums.append((parts[0], vals))
        elif word == "method":
            sections = [s.strip() for s in rest.split("|")]
            name, mid = sections[0].split()
            m = dict(name=name, id=int(mid), params=parse_params(sections[1]),
                     results=parse_params(sections[2]) if len(sections) > 2 else [],
                     order=sections[3].split() if len(sections) > 3 else None)
            cur.methods.append(m)
        elif word == "ids":
            parts = rest.split()
            cur.ids += [(parts[i], int(parts[i + 1])) for i in range(0, len(parts), 2)]
        elif word == "event":
            head, params = [s.strip() for s in rest.split("|", 1)]
            eid, name = head.split()
            cur.events.append(dict(id=int(eid), name=name, params=parse_params(params)))
        else:
            raise SystemExit("%s: unknown line: %s" % (path, line))
    return classes


def varint(v):
    out = []
    while True:
        b = v & 0x7F
        v >>= 7
        if v:
            out.append(b | 0x80)
        else:
            out.append(b)
            return out


def mixed(name):
    return "".join(w[:1].upper() + w[1:].lower() for w in name.split("_"))


def char_list(values):
    return ", ".join("'%s'" % chr(v) if 32 < v < 127 and chr(v) not in "'\\" else "'\\x%02x'" % v
                     for v in values)


KIND = {"S": "S", "X": "X", "f": "f", "B": "B", "u": "u", "i": "i", "U": "U", "b": "b", "e": "e", "O": "O"}


class Type:
    """One property, parameter or result type of the description."""

    def __init__(self, text, owner):
        self.list = text.startswith("[")
        base = text[1:-1] if self.list else text
        self.code, _, self.arg = base.partition(":")
        self.kind = KIND[self.code]
        self.owner = owner

    def enum_type(self):
        if not self.arg:
            return "unsigned"
        if "::" in self.arg or self.arg in GLOBAL_ENUMS:
            return self.arg
        return "%s::%s" % (self.owner, self.arg)

    def enum_map(self):
        if not self.arg:
            return None
        if self.arg in GLOBAL_ENUMS:
            return "%s_MAP" % self.arg
        cls, name = self.arg.split("::") if "::" in self.arg else (self.owner, self.arg)
        return "%s_%s_MAP" % (CLASSES[cls].ns if cls != "Skype" else "SKYPE", name)

    def storage(self):
        """The member type in records and the pointee type in calls."""
        if self.list:
            return {"O": self.arg + "Refs", "S": "SEStringList", "u": "SEIntList", "i": "SEIntList",
                    "e": "SEIntList"}[self.code]
        return {"S": "SEString", "X": "SEString", "f": "SEFilename", "B": "SEBinary", "u": "unsigned",
                "i": "int", "U": "uint64_t", "b": "bool", "e": "unsigned",
                "O": (self.arg + "Ref") if self.arg else "SEReference"}[self.code]

    def value_type(self):
        """What a reader hands out and a method takes."""
        if self.code == "e" and not self.list:
            return self.enum_type()
        return self.storage()

    def modid(self):
        return CLASSES[self.arg].modid if self.code == "O" and self.arg else 0

    def in_arg(self, name):
        t = self.value_type()
        if self.list or t in ("SEString", "SEFilename", "SEBinary", "SEStringList", "SEIntList") or self.code == "O":
            return "const %s& %s" % (t, name)
        return "%s %s" % (t, name)


CLASSES = {}
GLOBAL_ENUMS = set()


def default_funcs(t, default, helpers):
    """Names of the equals-default and set-to-default functions of a field."""
    st = t.storage()
    if t.list:
        return "list_equals_default<%s>" % st, "list_set_default<%s>" % st
    if t.code == "O":
        return "ref_equals_default", "ref_set_default"
    if default is None:
        return "Sid::FieldHelpers::equals_default<%s>" % st, "Sid::FieldHelpers::set_default<%s>" % st
    value = {"true": "true", "false": "false"}.get(default, default)
    cname = re_ident("%s_%s" % (st, value))
    if cname not in helpers:
        helpers[cname] = (
            "bool eq_%s(const void* v) { return *static_cast<const %s*>(v) == static_cast<%s>(%s); }\n"
            "void set_%s(void* v) { *static_cast<%s*>(v) = static_cast<%s>(%s); }\n"
            % (cname, st, st, value, cname, st, st, value))
    return "eq_" + cname, "set_" + cname


def re_ident(s):
    return "".join(c if c.isalnum() else "_" for c in s).replace("__", "_m")


class Table:
    """The field-descriptor table under construction."""

    def __init__(self):
        self.rows, self.helpers = [], {}

    def index(self):
        return len(self.rows)

    def add_property(self, rec, member, t, pid):
        eq, st = default_funcs(t, None, self.helpers)
        idx = self.index()
        self.rows.append("Sid::Field::field(%d, '%s', offsetof(%s, %s), %s, %s, false, %d)"
                         % (pid, t.kind, rec, member, eq, st, t.modid()))
        return idx

    def add_message(self, fields, owner, record=None, comment=""):
        """fields: list of (tag, Type, default, member). Returns the message's index."""
        fields = sorted(fields, key=lambda f: f[0])
        start = self.index()
        end = start + sum(2 if f[1].list else 1 for f in fields)
        for i, (tag, t, default, member) in enumerate(fields):
            eq, st = default_funcs(t, default, self.helpers)
            lst = "true" if t.list else "false"
            if i == 0:
                self.rows.append("Sid::Field::first(%d, '%s', %d, %s, %s, %s, %d)%s"
                                 % (tag, t.kind, end, eq, st, lst, t.modid(), comment))
            else:
                off = "offsetof(%s, %s)" % (record, member) if record else "0"
                self.rows.append("Sid::Field::field(%d, '%s', %s, %s, %s, %s, %d)"
                                 % (tag, t.kind, off, eq, st, lst, t.modid()))
            if t.list:
                self.rows.append("Sid::FieldHelpers::list_helper<%s>()" % t.storage())
        return start


def main():
    global CLASSES
    CLASSES = parse(SRC)
    glob = CLASSES.pop("global")
    for name, _ in glob.enums:
        GLOBAL_ENUMS.add(name)
    order = [CLASSES[n] for n in ORDER]
    objects = [c for c in order if c.name != "Skype"]
    skype = CLASSES["Skype"]
    table = Table()

    h, r, cpp = [], [], []
    h.append("// Generated by tools/gen_skype_api.py from ClientRuntime/api/skype_api.txt; do not edit.\n"
             "#ifndef CLIENTRUNTIME_API_GENERATED_SKYPEAPI_H\n#define CLIENTRUNTIME_API_GENERATED_SKYPEAPI_H\n\n"
             "#include <cstdint>\n\n"
             "#include \"ClientRuntime/api/AccountLookup.h\"\n"
             "#include \"ClientRuntime/types/SEObject.h\"\n#include \"ClientRuntime/types/SERootObject.h\"\n"
             "#include \"VoiceHost/sid/protocol/Field.h\"\n#include \"VoiceHost/sid/types/SEBinary.h\"\n"
             "#include \"VoiceHost/sid/types/SEIntList.h\"\n#include \"VoiceHost/sid/types/SEPMap.h\"\n"
             "#include \"VoiceHost/sid/types/SEString.h\"\n#include \"VoiceHost/sid/types/SEStringList.h\"\n\n")
    for c in objects:
        h.append("class %s;\n" % c.name)
    h.append("class Skype;\n\n")

    # Typed references and lists.
    for c in objects:
        n = c.name
        h.append("""// A reference to a %(n)s (module %(m)d).
class %(n)sRef : public SEReference {
public:
  static constexpr unsigned MODULE_ID = %(m)d;
  %(n)sRef() { m_modid = MODULE_ID; }
  %(n)sRef(const unsigned& oid, SERootObject* root = nullptr) : SEReference(oid, MODULE_ID, root) {}
  %(n)sRef(const SEReference& other) : SEReference(other) { m_modid = MODULE_ID; }
  %(n)sRef& operator=(const SEReference& other) {
    SEReference::operator=(other);
    return *this;
  }
  %(n)s* operator->() const { return fetch(); }
  %(n)s* fetch() const;
};

class %(n)sRefs : public SERefList {
public:
  %(n)sRef operator[](size_t i) const { return %(n)sRef(SERefList::operator[](i)); }
  void append(const %(n)sRef& ref) { SERefList::append(ref); }
};

""" % dict(n=n, m=c.modid))

    # Global enumerations.
    def enum_decl(name, vals, indent):
        body = ", ".join("%s = %d" % (v, k) for v, k in vals)
        return "%senum %s : unsigned {%s};\n" % (indent, name, (" " + body + " ") if body else "")

    for name, vals in glob.enums:
        h.append(enum_decl(name, vals, ""))
        h.append("extern const SEPMap::Entry %s_MAP[];\n" % name)
    h.append("\n")

    def readers_decl(c):
        out = []
        for p in c.props:
            t = Type(p["type"], c.name)
            out.append("  bool GetProp%s(%s& out);\n" % (mixed(p["name"]), t.value_type()))
        return out

    def sig(c, m):
        args = {}
        for p in m["params"]:
            if p["tag"] == 0 and c.name != "Skype":
                continue
            args[p["name"]] = Type(p["type"], c.name).in_arg(p["name"])
        for p in m["results"]:
            args[p["name"]] = "%s& %s" % (Type(p["type"], c.name).value_type(), p["name"])
        names = m["order"] or [p["name"] for p in m["params"] if not (p["tag"] == 0 and c.name != "Skype")] + \
            [p["name"] for p in m["results"]]
        return ", ".join(args[n] for n in names)

    def event_args(c, e):
        out = []
        for p in e["params"]:
            if p["tag"] == 0 and c.name != "Skype":
                continue
            t = Type(p["type"], c.name)
            out.append("const %s& %s" % (t.value_type(), p["name"]))
        return ", ".join(out)

    def enums_decl(c):
        out = []
        for name, vals in c.enums:
            out.append(enum_decl(name, vals, "  "))
        return out

    def method_ids(c):
        ids = sorted([(m["name"], m["id"]) for m in c.methods] + c.ids, key=lambda x: x[1])
        return "  enum METHOD_ID : unsigned { %s };\n" % ", ".join("MID_%s = %d" % x for x in ids) if ids else ""

    for c in objects:
        n = c.name
        h.append("class %s : public SEObject {\npublic:\n" % n)
        h.append("  typedef %sRef Ref;\n  typedef %sRefs Refs;\n  static constexpr unsigned MODULE_ID = %d;\n\n"
                 % (n, n, c.modid))
        h += enums_decl(c)
        h.append("  enum PROPERTY : unsigned { %s };\n" % ", ".join("P_%s = %d" % (p["name"], p["id"]) for p in c.props))
        h.append(method_ids(c))
        h.append("\n  %s(unsigned oid, SERootObject* root);\n  ~%s() override;\n" % (n, n))
        h.append("  void __clear_cache(void* record) override;\n  unsigned moduleID() const override { return MODULE_ID; }\n"
                 "  const char* getNamespace() const override { return \"%s\"; }\n"
                 "  const SEPMap::Entry* getPMap() const override;\n  const SEEMapEntry* getEMap() const override;\n\n"
                 % c.ns)
        h.append("  // Property readers: false when the property cannot be fetched (out untouched).\n")
        h += readers_decl(c)
        if c.methods:
            h.append("\n  // Methods: true when the call was answered; outputs are written only then.\n")
            for m in c.methods:
                h.append("  bool %s(%s);\n" % (m["name"], sig(c, m)))
        if c.events:
            h.append("\n  // Events.\n")
            if any(e["name"] == "OnChange" for e in c.events):
                h.append("  using SEObject::OnChange;\n")
            for e in c.events:
                h.append("  virtual void %s(%s);\n" % (e["name"], event_args(c, e)))
        h.append("};\n")
        h.append("extern const SEPMap::Entry %s_PROPERTY_MAP[];\nextern const SEEMapEntry %s_EMAP[];\n" % (c.ns, c.ns))
        for name, _ in c.enums:
            h.append("extern const SEPMap::Entry %s_%s_MAP[];\n" % (c.ns, name))
        h.append("\n")

    # The root.
    h.append("// The root of one session's objects: the session, the object cache and the\n"
             "// receiver of the runtime's root events. Subclasses override the factory\n"
             "// methods to create their own proxies, and the event callbacks. A subclass\n"
             "// whose proxies or callbacks use its own members calls stop() and then\n"
             "// cleanup(1) in its destructor, so that no callback runs and no proxy is\n"
             "// deleted after those members are gone.\n"
             "class Skype : public SERootObject {\npublic:\n")
    h += enums_decl(skype)
    h.append(method_ids(skype))
    h.append("\n  explicit Skype(int max_processors = 32);\n  ~Skype() override;\n\n"
             "  // Starts the runtime's API; stops the session when it does not confirm.\n"
             "  bool start() override;\n"
             "  const Sid::Field* get_property_desc(const unsigned& modid, const unsigned& prop) override;\n"
             "  Sid::Protocol::Status dispatch_event(Sid::CommandInitiator* thread, Sid::Protocol::ClientInterface* protocol,\n"
             "                                       const unsigned& modid, const unsigned& event_id) override;\n"
             "  SEObject* factory(const unsigned& oid, const unsigned& modid) override;\n"
             "  void* prop_factory(const unsigned& modid) override;\n"
             "  SEIntList* prop_cached_list(void* record, const unsigned& modid) override;\n"
             "  void free_cache_record(void* record, const unsigned& modid) override;\n\n")
    for c in ["ContactGroup", "Contact", "ContactSearch", "Participant", "Conversation", "Message", "Video",
              "Voicemail", "Sms", "Transfer", "Account"]:
        h.append("  virtual %s* new%s(int oid);\n" % (c, c))
    h.append("\n")
    for e in skype.events:
        h.append("  virtual void %s(%s);\n" % (e["name"], event_args(skype, e)))
    h.append("\n")
    for m in skype.methods:
        h.append("  bool %s(%s);\n" % (m["name"], sig(skype, m)))
    h.append("\nprivate:\n  AccountLookup m_account_lookup;   // this session's last account name\n};\n")
    for name, _ in skype.enums:
        h.append("extern const SEPMap::Entry SKYPE_%s_MAP[];\n" % name)
    h.append("\n// The descriptor table of the API.\nextern const Sid::Field SkypeFields[];\nextern const unsigned SkypeFieldCount;\n\n")

    # tostring
    h.append("namespace Sid {\n// \"Class::ENUM.VALUE\", or \"Class::ENUM<Unknown:n>\".\n"
             "SEString enumtostring(const char* qualified_name, const SEPMap::Entry* table, unsigned value);\n")
    all_enums = [(name, name, "%s_MAP" % name) for name, _ in glob.enums]
    for c in order:
        ns = c.ns if c.name != "Skype" else "SKYPE"
        all_enums += [("%s::%s" % (c.name, name), "%s::%s" % (c.name, name), "%s_%s_MAP" % (ns, name))
                      for name, _ in c.enums]
    for typ, qual, mp in all_enums:
        h.append("inline SEString tostring(const %s& v) { return enumtostring(\"%s\", %s, v); }\n" % (typ, qual, mp))
    h.append("} // namespace Sid\n\n#endif\n")

    # ------------------------------------------------------------------ records
    r.append("// Generated by tools/gen_skype_api.py from ClientRuntime/api/skype_api.txt; do not edit.\n"
             "// Property-cache records (one member per property, then the ids cached) and\n"
             "// event parameter records.\n"
             "#ifndef CLIENTRUNTIME_API_GENERATED_SKYPERECORDS_H\n#define CLIENTRUNTIME_API_GENERATED_SKYPERECORDS_H\n\n"
             "#include \"ClientRuntime/api/generated/SkypeApi.h\"\n\n")
    for c in objects:
        r.append("struct %s {\n" % c.record)
        for p in c.props:
            t = Type(p["type"], c.name)
            init = "{}" if t.storage() in ("unsigned", "int", "uint64_t", "bool") else ""
            r.append("  %s %s%s;\n" % (t.storage(), p["name"].lower(), init))
        r.append("  SEIntList cached;\n};\n\n")

    def event_record(c, e):
        return "Msg%s%s" % (c.name.lower(), e["name"])

    for c in order:
        for e in c.events:
            if not e["params"]:
                continue
            r.append("struct %s {\n" % event_record(c, e))
            for p in sorted(e["params"], key=lambda x: x["tag"]):
                t = Type(p["type"], c.name)
                init = "{}" if t.storage() in ("unsigned", "int", "uint64_t", "bool") else ""
                st = t.storage()
                if p["tag"] == 0 and c.name != "Skype":
                    st = c.name + "Ref"
                r.append("  %s %s%s;\n" % (st, p["name"], init))
            r.append("};\n\n")
    r.append("#endif\n")

    # ------------------------------------------------------------------ tables
    prop_index = {}   # (modid, pid) -> table index
    for c in objects:
        for p in c.props:
            t = Type(p["type"], c.name)
            prop_index[(c.modid, p["id"])] = table.add_property(c.record, p["name"].lower(), t, p["id"])

    msg_index = {}
    for c in order:
        for m in c.methods:
            fields = []
            for p in m["params"]:
                t = Type(p["type"], c.name)
                if p["tag"] == 0 and c.name != "Skype":
                    t = Type("O:" + c.name, c.name)
                    t.self = True
                fields.append((p["tag"], t, p["default"], None))
            if fields:
                msg_index[(c.name, m["name"], "in")] = table.add_message(fields, c.name, None,
                                                                         " /* %s::%s */" % (c.name, m["name"]))
            res = [(p["tag"], Type(p["type"], c.name), None, None) for p in m["results"]]
            if res:
                msg_index[(c.name, m["name"], "out")] = table.add_message(res, c.name, None,
                                                                          " /* %s::%s results */" % (c.name, m["name"]))
        for e in c.events:
            if not e["params"]:
                continue
            fields = []
            for p in e["params"]:
                t = Type(p["type"], c.name)
                if p["tag"] == 0 and c.name != "Skype":
                    t = Type("O:" + c.name, c.name)
                fields.append((p["tag"], t, None, p["name"]))
            msg_index[(c.name, e["name"], "event")] = table.add_message(fields, c.name, event_record(c, e),
                                                                        " /* %s::%s */" % (c.name, e["name"]))

    cpp.append("// Generated by tools/gen_skype_api.py from ClientRuntime/api/skype_api.txt; do not edit.\n"
               "#include <cstddef>\n#include <mutex>\n\n"
               "#include \"ClientRuntime/api/generated/SkypeRecords.h\"\n"
               "#include \"VoiceHost/sid/protocol/FieldHelpers.h\"\n\n"
               "using Sid::Protocol::Status;\n\n")
    for c in objects:
        cpp.append("static_assert(std::is_standard_layout_v<%s>);\n" % c.record)
    cpp.append("\nnamespace {\n\n"
               "bool ref_equals_default(const void* v) { return static_cast<const SEReference*>(v)->get_oid() == 0; }\n"
               "void ref_set_default(void* v) { *static_cast<SEReference*>(v) = SEReference(); }\n"
               "template <class L>\nbool list_equals_default(const void* v) { return static_cast<const L*>(v)->size() == 0; }\n"
               "template <class L>\nvoid list_set_default(void* v) { static_cast<L*>(v)->clear(); }\n")
    # self parameters are always written
    cpp.append("\n} // namespace\n\n")
    # helpers for defaults
    cpp.append("namespace {\n")
    for body in table.helpers.values():
        cpp.append(body)
    cpp.append("} // namespace\n\n")

    rows = list(table.rows)
    cpp.append("const Sid::Field SkypeFields[] = {\n")
    for i, row in enumerate(rows):
        cpp.append("    /* %3d */ %s,\n" % (i, row))
    cpp.append("};\nconst unsigned SkypeFieldCount = %d;\n\n" % len(rows))

    # Name and value tables.
    def pmap(name, pairs):
        s = "const SEPMap::Entry %s[] = {" % name
        s += "".join("{\"%s\", %d}, " % (a, b) for a, b in pairs)
        return s + "{nullptr, 0}};\n"

    for name, vals in glob.enums:
        cpp.append(pmap("%s_MAP" % name, vals))
    for c in order:
        ns = c.ns if c.name != "Skype" else "SKYPE"
        for name, vals in c.enums:
            cpp.append(pmap("%s_%s_MAP" % (ns, name), vals))
        if c.name == "Skype":
            continue
        cpp.append(pmap("%s_PROPERTY_MAP" % c.ns, [(p["name"], p["id"]) for p in c.props]))
        em = []
        for pname in c.emap:
            p = next(p for p in c.props if p["name"] == pname)
            t = Type(p["type"], c.name)
            mp = t.enum_map()
            if mp:
                em.append("{%d, %s}" % (p["id"], mp))
        cpp.append("const SEEMapEntry %s_EMAP[] = {%s{0, nullptr}};\n" % (c.ns, "".join(e + ", " for e in em)))
    cpp.append("\n")

    # Sid::enumtostring
    cpp.append("""SEString Sid::enumtostring(const char* qualified_name, const SEPMap::Entry* table, unsigned value) {
  SEString name = SEPMap(table).map(static_cast<int>(value));
  SEString out(qualified_name);
  if (name.isNull()) {
    SEString unknown;
    unknown.Format("<Unknown:%u>", value);
    out += unknown;
  } else {
    out += ".";
    out += name;
  }
  return out;
}

""")

    # Per class: constructor, maps, cache, references, readers, methods, events.
    def header_bytes(modid, mid):
        return [ord("Z"), ord("R")] + varint(modid) + varint(mid)

    def method_body(c, m, root_expr, self_expr):
        lines = []
        hdr = header_bytes(c.modid, m["id"])
        lines.append("  static const char header[] = {%s};\n" % char_list(hdr))
        lines.append("  SEClientSession* session = %s;\n" % root_expr)
        if c.name == "Account" and m["name"] == "Logout":
            lines.append("  // From now on events are skipped and only accounts get OnChange.\n"
                         "  session->set_logging_out(MODULE_ID);\n")
        if c.name == "Skype" and m["name"] == "GetAccount":
            lines.append("  m_account_lookup.before_lookup(*this, %s, %s);\n" % (m["params"][0]["name"], m["results"][0]["name"]))
        params = sorted(m["params"], key=lambda p: p["tag"])
        ptrs = []
        for p in params:
            t = Type(p["type"], c.name)
            if p["tag"] == 0 and c.name != "Skype":
                lines.append("  unsigned p_self = %s;\n" % self_expr)
                ptrs.append("&p_self")
            elif t.code == "e" and not t.list:
                lines.append("  unsigned p_%s = static_cast<unsigned>(%s);\n" % (p["name"], p["name"]))
                ptrs.append("&p_%s" % p["name"])
            else:
                ptrs.append("&%s" % p["name"])
        results = sorted(m["results"], key=lambda p: p["tag"])
        rptrs = []
        for p in results:
            t = Type(p["type"], c.name)
            lines.append("  %s r_%s{};\n" % (t.storage(), p["name"]))
            rptrs.append("&r_%s" % p["name"])
        if ptrs:
            lines.append("  const void* params[] = {%s};\n" % ", ".join(ptrs))
        if rptrs:
            lines.append("  void* results[] = {%s};\n" % ", ".join(rptrs))
        pin = msg_index.get((c.name, m["name"], "in"))
        pout = msg_index.get((c.name, m["name"], "out"))
        if ptrs and rptrs:
            lines.append("  Sid::CommandInitiator* thread = nullptr;\n"
                         "  if (!session->call_mn(thread, header, sizeof header, %d, params)) return false;\n"
                         "  if (!session->read_results(thread, %d, results)) return false;\n" % (pin, pout))
        elif ptrs:
            lines.append("  if (!session->call_m0(header, sizeof header, %d, params)) return false;\n" % pin)
        elif rptrs:
            lines.append("  if (!session->call_0n(header, sizeof header, %d, results)) return false;\n" % pout)
        else:
            lines.append("  if (!session->call_00(header, sizeof header)) return false;\n")
        for p in results:
            t = Type(p["type"], c.name)
            if t.code == "e" and not t.list:
                lines.append("  %s = static_cast<%s>(r_%s);\n" % (p["name"], t.value_type(), p["name"]))
            else:
                lines.append("  %s = r_%s;\n" % (p["name"], p["name"]))
        lines.append("  return true;\n")
        return "".join(lines)

    for c in objects:
        n = c.name
        cpp.append("// ---- %s\n\n" % n)
        cpp.append("%s* %sRef::fetch() const {\n  SEObject* o = SEReference::fetch();\n"
                   "  return o && o->moduleID() == MODULE_ID ? static_cast<%s*>(o) : nullptr;\n}\n\n" % (n, n, n))
        cpp.append("%s::%s(unsigned oid, SERootObject* root) : SEObject(oid, root) {}\n%s::~%s() = default;\n"
                   % (n, n, n, n))
        cpp.append("void %s::__clear_cache(void* record) { delete static_cast<%s*>(record); }\n" % (n, c.record))
        cpp.append("const SEPMap::Entry* %s::getPMap() const { return %s_PROPERTY_MAP; }\n" % (n, c.ns))
        cpp.append("const SEEMapEntry* %s::getEMap() const { return %s_EMAP; }\n\n" % (n, c.ns))
        for p in c.props:
            t = Type(p["type"], c.name)
            hdr = [ord("Z"), ord("G")] + varint(p["id"]) + [ord("]")] + varint(c.modid)
            conv = "*static_cast<%s*>(member)" % t.storage()
            if t.code == "e" and t.arg:
                conv = "static_cast<%s>(%s)" % (t.value_type(), conv)
            cpp.append("""bool %(n)s::GetProp%(mx)s(%(vt)s& out) {
  static const char header[] = {%(hdr)s};
  SERootObject* root = getRoot();
  if (root->get_property(root->get_current_thread(), MODULE_ID, getOID(), %(pid)d, header, sizeof header) != Sid::Protocol::OK)
    return false;
  unsigned char kind = 0;
  void* member = root->get_cached_prop(MODULE_ID, getOID(), %(pid)d, kind);
  if (!member) return false;
  std::lock_guard<std::recursive_mutex> lock(root->get_cache_lock());
  out = %(conv)s;
  return true;
}
""" % dict(n=n, mx=mixed(p["name"]), vt=t.value_type(), hdr=char_list(hdr), pid=p["id"], conv=conv))
        for m in c.methods:
            cpp.append("\nbool %s::%s(%s) {\n%s}\n" % (n, m["name"], sig(c, m),
                                                     method_body(c, m, "getRoot()", "getOID()")))
        for e in c.events:
            names = [p["name"] for p in e["params"] if p["tag"] != 0]
            cpp.append("void %s::%s(%s) {}\n" % (n, e["name"], ", ".join(
                a.rsplit(" ", 1)[0] for a in event_args(c, e).split(", ")) if names else ""))
        cpp.append("\n")

    # Skype
    cpp.append("// ---- Skype\n\nSkype::Skype(int max_processors) : SERootObject(max_processors, SkypeFields) {}\n"
               "Skype::~Skype() { stop(); }\n\n")
    cpp.append("""bool Skype::start() {
  bool started = false;
  if (!Start(started) || !started) {
    stop();
    return false;
  }
  return true;
}

""")
    for c in ["ContactGroup", "Contact", "ContactSearch", "Participant", "Conversation", "Message", "Video",
              "Voicemail", "Sms", "Transfer", "Account"]:
        cpp.append("%s* Skype::new%s(int oid) { return new %s(static_cast<unsigned>(oid), this); }\n" % (c, c, c))
    cpp.append("\nSEObject* Skype::factory(const unsigned& oid, const unsigned& modid) {\n  switch (modid) {\n")
    for c in objects:
        cpp.append("  case %d: return new%s(static_cast<int>(oid));\n" % (c.modid, c.name))
    cpp.append("  default: return nullptr;\n  }\n}\n\nvoid* Skype::prop_factory(const unsigned& modid) {\n  switch (modid) {\n")
    for c in objects:
        cpp.append("  case %d: return new %s();\n" % (c.modid, c.record))
    cpp.append("  default: return nullptr;\n  }\n}\n\nSEIntList* Skype::prop_cached_list(void* record, const unsigned& modid) {\n  switch (modid) {\n")
    for c in objects:
        cpp.append("  case %d: return &static_cast<%s*>(record)->cached;\n" % (c.modid, c.record))
    cpp.append("  default: return nullptr;\n  }\n}\n\nvoid Skype::free_cache_record(void* record, const unsigned& modid) {\n  switch (modid) {\n")
    for c in objects:
        cpp.append("  case %d: delete static_cast<%s*>(record); break;\n" % (c.modid, c.record))
    cpp.append("  default: break;\n  }\n}\n\nconst Sid::Field* Skype::get_property_desc(const unsigned& modid, const unsigned& prop) {\n  switch (modid) {\n")
    for c in objects:
        cpp.append("  case %d:\n    switch (prop) {\n" % c.modid)
        for p in c.props:
            cpp.append("    case %d: return &SkypeFields[%d];\n" % (p["id"], prop_index[(c.modid, p["id"])]))
        cpp.append("    default: return nullptr;\n    }\n")
    cpp.append("  default: return nullptr;\n  }\n}\n\n")
    for e in skype.events:
        cpp.append("void Skype::%s(%s) {}\n" % (e["name"], ", ".join(
            a.rsplit(" ", 1)[0] for a in event_args(skype, e).split(", ")) if e["params"] else ""))
    for m in skype.methods:
        cpp.append("\nbool Skype::%s(%s) {\n%s}\n" % (m["name"], sig(skype, m), method_body(skype, m, "this", "0")))

    # dispatch_event
    cpp.append("""
Status Skype::dispatch_event(Sid::CommandInitiator* thread, Sid::Protocol::ClientInterface* protocol,
                             const unsigned& modid, const unsigned& event_id) {
  switch (modid * 65536u + event_id) {
""")
    for c in order:
        for e in c.events:
            key = c.modid * 65536 + e["id"]
            cpp.append("  case %du: { // %s::%s\n" % (key, c.name, e["name"]))
            params = sorted(e["params"], key=lambda p: p["tag"])
            if params:
                rec = event_record(c, e)
                cpp.append("    %s rec;\n    if (protocol->rd_parms(thread, &rec, %d) != Sid::Protocol::OK) return Sid::Protocol::ERR_DECODE;\n"
                           % (rec, msg_index[(c.name, e["name"], "event")]))
            else:
                cpp.append("    if (protocol->rd_parms(thread) != Sid::Protocol::OK) return Sid::Protocol::ERR_DECODE;\n")
            args = []
            for p in params:
                if p["tag"] == 0 and c.name != "Skype":
                    continue
                t = Type(p["type"], c.name)
                if t.code == "e" and not t.list and t.arg:
                    args.append("static_cast<%s>(rec.%s)" % (t.value_type(), p["name"]))
                else:
                    args.append("rec.%s" % p["name"])
            if c.name == "Skype":
                cpp.append("    %s(%s);\n" % (e["name"], ", ".join(args)))
                if e["name"] == "OnMessage":
                    cpp.append("    if (rec.conversation.can_dispatch() && rec.conversation.m_object &&\n"
                               "        rec.conversation.m_object->moduleID() == Conversation::MODULE_ID)\n"
                               "      static_cast<Conversation*>(rec.conversation.m_object)->OnMessage(rec.message);\n")
            else:
                cpp.append("    // Only a proxy somebody holds gets the event; none is created for it.\n"
                           "    if (rec.self.can_dispatch() && rec.self.m_object && rec.self.m_object->moduleID() == %s::MODULE_ID)\n"
                           "      static_cast<%s*>(rec.self.m_object)->%s(%s);\n" % (c.name, c.name, e["name"], ", ".join(args)))
            cpp.append("    return Sid::Protocol::OK;\n  }\n")
    cpp.append("  default:\n    return protocol->sk_parms(thread);\n  }\n}\n")

    os.makedirs(OUT, exist_ok=True)
    for name, parts in (("SkypeApi.h", h), ("SkypeRecords.h", r), ("SkypeApi.cpp", cpp)):
        with open(os.path.join(OUT, name), "w") as f:
            f.write("".join(parts))
    print("wrote %s: %d descriptor entries" % (OUT, len(rows)))


if __name__ == "__main__":
    main()
