// api: queries, dynamic attributes and objects made from data, CR data and its changes,
// relations.
#include <emulator/objects.h>
#include <emulator/operation.h>

#include <algorithm>
#include <cstring>
#include <optional>

namespace mremu {

namespace {

constexpr std::u16string_view data_label = u"Quellar xml data";

// The text of count bytes of UTF-16LE code units at first; an odd last byte is dropped.
std::u16string bytes_text(const BYTE* first, long long count) {
    if (!first || count < 2) return {};
    std::u16string text(static_cast<std::size_t>(count / 2), u'\0');
    std::memcpy(text.data(), first, text.size() * 2);
    return text;
}

long long array_bytes(SAFEARRAY* a) noexcept {
    if (!a || a->cDims != 1) return 0;
    return static_cast<long long>(a->rgsabound[0].cElements) * a->cbElements;
}

// A caller's byte array in the journal: its size in bytes and their text.
journal_line& journal_array(journal_line& l, SAFEARRAY* a) {
    void* data = nullptr;
    if (!a || SafeArrayGetElemsize(a) != 1 || FAILED(SafeArrayAccessData(a, &data)))
        return l.buffer(array_bytes(a), nullptr, 0);
    struct unaccess {
        SAFEARRAY* a;
        ~unaccess() { SafeArrayUnaccessData(a); }
    } unlock{a};
    return l.buffer(array_bytes(a), static_cast<const BYTE*>(data), array_bytes(a));
}

oa::unique_safearray text_array(std::u16string_view text) {
    const ULONG bytes = static_cast<ULONG>(text.size() * 2);
    oa::unique_safearray a(SafeArrayCreateVector(VT_UI1, 0, bytes));
    if (!a) throw std::bad_alloc();
    void* data = nullptr;
    oa::check(SafeArrayAccessData(a.get(), &data));
    std::memcpy(data, text.data(), bytes);
    SafeArrayUnaccessData(a.get());
    return a;
}

// Checks shared by SetDynamicAttrsData and CreateRCObjectFromData.
void check_data(BSTR label, const BYTE* first, LONG count) {
    if (view(label) != data_label)
        oa::raise(errors::bad_label, u"The data label must be \"Quellar xml data\", not \"" + str(label) + u"\"");
    if (count <= 0 || count % 2 != 0)
        oa::raise(errors::bad_byte_count,
                  u"The byte count " + num(count) + u" does not fit a buffer of UTF-16 text (a positive even number)");
    if (!first) oa::raise(errors::missing_argument, u"No data buffer was given");
}

// The next free numeric id: CRs and objects share the namespace of relations.
std::u16string next_cvid(const server& on) {
    unsigned long long highest = 0;
    auto consider = [&](const std::u16string& id) {
        if (id.empty() || id.size() > 18) return;
        unsigned long long n = 0;
        for (char16_t c : id) {
            if (c < u'0' || c > u'9') return;
            n = n * 10 + static_cast<unsigned>(c - u'0');
        }
        highest = std::max(highest, n);
    };
    for (const auto& o : on.objects) consider(o.cvid);
    for (const auto& c : on.crs) consider(c.id);
    return num(static_cast<long long>(highest + 1));
}

}  // namespace

HRESULT api_object::QueryObjects(IDispatch* user, BSTR report, BSTR query, BSTR options, IObjectList** list) {
    return call(
        [&] {
            *list = nullptr;
            const opening opened(
                op::QueryObjects, server_,
                [&](journal_line& l) { l.object("User", user).text(report).text(query).text(options); },
                needs::connection);
            session s = logged_in(opened.connected(), user);
            // is_dynamic_attrs_new_of('INSTANCE/problem/N/1'); INSTANCE may hold slashes.
            constexpr std::u16string_view head = u"is_dynamic_attrs_new_of('", tail = u"/1')";
            const std::u16string_view q = view(query);
            std::u16string_view inner;
            std::size_t cut = std::u16string_view::npos;
            if (q.size() > head.size() + tail.size() && q.substr(0, head.size()) == head &&
                q.substr(q.size() - tail.size()) == tail) {
                inner = q.substr(head.size(), q.size() - head.size() - tail.size());
                cut = inner.rfind(u"/problem/");
            }
            const std::u16string_view number =
                cut == std::u16string_view::npos ? std::u16string_view() : inner.substr(cut + 9);
            if (number.empty() || number.find(u'/') != std::u16string_view::npos)
                oa::raise(errors::bad_query, u"The query \"" + str(query) +
                                                 u"\" is not understood; expected "
                                                 u"is_dynamic_attrs_new_of('INSTANCE/problem/N/1')");
            const std::u16string_view instance = inner.substr(0, cut);
            std::vector<object_record> found;
            for (const auto& o : s.on.objects)
                if (o.instance == instance && o.problem == number) found.push_back(o);
            *list = handed_out(oa::make_self<object_list_object>(server_.lock(), std::move(found)));
        },
        list);
}

HRESULT api_object::GetDynamicAttrsData(IDispatch* user, BSTR cvid, SAFEARRAY** buffer, LONG* byteCount) {
    return call(
        [&] {
            const opening opened(op::GetDynamicAttrsData, server_, [&](journal_line& l) {
                l.object("User", user).text(cvid);
                journal_array(l, *buffer).number(*byteCount);
            }, needs::connection);
            session s = logged_in(opened.connected(), user);
            const object_record* o = s.on.object(view(cvid));
            if (!o) oa::raise(errors::unknown_object, u"No object with cvid \"" + str(cvid) + u"\"");
            if (!o->dynamic_attrs || o->dynamic_attrs->empty()) {
                *byteCount = 0;  // the caller's buffer stays as it was
                return;
            }
            oa::unique_safearray fresh = text_array(*o->dynamic_attrs);
            oa::unique_safearray old(*buffer);  // the caller hands its buffer over to be replaced
            *buffer = fresh.release();
            *byteCount = static_cast<LONG>(o->dynamic_attrs->size() * 2);
        },
        buffer, byteCount);
}

HRESULT api_object::GetHostname(IDispatch* user, BSTR* hostname) {
    return call(
        [&] {
            const opening opened(
                op::GetHostname, server_, [&](journal_line& l) { l.object("User", user); }, needs::connection);
            session s = logged_in(opened.connected(), user);
            put_text(hostname, s.on.hostname);
        },
        hostname);
}

HRESULT api_object::SetDynamicAttrsData(IDispatch* user, BSTR rcpId, BSTR label, BYTE* firstByte, LONG byteCount,
                                        BSTR* answer) {
    return call(
        [&] {
            const opening opened(op::SetDynamicAttrsData, server_, [&](journal_line& l) {
                l.object("User", user).text(rcpId).text(label).buffer(byteCount, firstByte, byteCount);
                l.number(byteCount);
            }, needs::connection);
            session s = logged_in(opened.connected(), user);
            check_data(label, firstByte, byteCount);
            object_record* o = s.on.object(view(rcpId));
            if (!o) oa::raise(errors::unknown_object, u"No object with cvid \"" + str(rcpId) + u"\"");
            o->dynamic_attrs = bytes_text(firstByte, byteCount);
            put_text(answer, u"Dynamic attributes of " + o->cvid + u" stored (" + num(byteCount / 2) +
                                 u" characters)");
        },
        answer);
}

HRESULT api_object::CreateRCObjectFromData(IDispatch* user, BSTR rcpId, BSTR relation, BSTR filename, BSTR label,
                                           BSTR options, BYTE* firstByte, LONG byteCount, BSTR* answer) {
    return call(
        [&] {
            const opening opened(op::CreateRCObjectFromData, server_, [&](journal_line& l) {
                l.object("User", user).text(rcpId).text(relation).text(filename).text(label).text(options);
                l.buffer(byteCount, firstByte, byteCount).number(byteCount);
            }, needs::connection);
            session s = logged_in(opened.connected(), user);
            check_data(label, firstByte, byteCount);
            const object_record* from_object = s.on.object(view(rcpId));
            const cr_record* from_cr = s.on.cr(view(rcpId));
            if (!from_object && !from_cr) oa::raise(errors::unknown_object, u"No CR or object with id \"" + str(rcpId) + u"\"");
            object_record made{next_cvid(s.on),
                               from_object ? from_object->instance : s.user.login->database,
                               from_object ? from_object->problem : from_cr->id,
                               bytes_text(firstByte, byteCount),
                               str(filename)};
            s.on.relations.push_back({str(rcpId), made.cvid, str(relation), u"normal"});
            put_text(answer, made.cvid);
            s.on.objects.push_back(std::move(made));
        },
        answer);
}

// ------------------------------------------------------------------------------------
// api: CR data and relations

HRESULT api_object::CRData(IDispatch* user, BSTR crid, BSTR attributeList, IObjectData** data) {
    return call(
        [&] {
            *data = nullptr;
            const opening opened(
                op::CRData, server_, [&](journal_line& l) { l.object("User", user).text(crid).text(attributeList); },
                needs::connection);
            session s = logged_in(opened.connected(), user);
            const cr_record* cr = s.on.cr(view(crid));
            if (!cr) oa::raise(errors::unknown_cr, u"No CR with id \"" + str(crid) + u"\"");
            std::vector<object_data_object::slot> slots;
            for (auto& name : split(view(attributeList), u"|")) {
                if (std::any_of(slots.begin(), slots.end(), [&](const auto& sl) { return sl.name == name; })) continue;
                const std::u16string* value = cr->find(name);
                slots.push_back({name, value != nullptr, value ? *value : u"", value ? *value : u"", false});
            }
            *data = handed_out(oa::make_self<object_data_object>(server_.lock(), true, cr->id, std::move(slots)));
        },
        data);
}

HRESULT api_object::ModifyCR(IDispatch* user, IDispatch* data, BSTR* reply) {
    return change_cr(op::ModifyCR, user, data, reply);
}

HRESULT api_object::TransitionCR(IDispatch* user, IDispatch* data, BSTR* reply) {
    return change_cr(op::TransitionCR, user, data, reply);
}

HRESULT api_object::change_cr(op o, IDispatch* user, IDispatch* data, BSTR* reply) {
    return call(
        [&] {
            const opening opened(
                o, server_, [&](journal_line& l) { l.object("User", user).object("ObjectData", data); },
                needs::connection);
            session s = logged_in(opened.connected(), user);
            if (!data) oa::raise(errors::missing_argument, u"No ObjectData was given");
            object_data_object* d = object_data_object::of(data);
            if (!d) oa::raise(errors::foreign_object, u"The ObjectData object was not made by this library");
            if (!d->is_cr() || d->current_server() != &s.on)
                oa::raise(errors::not_cr_data, u"The ObjectData does not come from CRData of this change server");
            cr_record* cr = s.on.cr(d->id());
            if (!cr) oa::raise(errors::unknown_cr, u"No CR with id \"" + d->id() + u"\"");

            // Values travel XML-escaped; the server stores them as plain text.
            const std::u16string current = cr->find(u"crstatus") ? *cr->find(u"crstatus") : u"";
            std::optional<std::u16string> status;
            for (const auto& sl : d->slots())
                if (sl.written && sl.name == u"crstatus" && xml_unescape(sl.value) != current)
                    status = xml_unescape(sl.value);
            if (status && o == op::ModifyCR)
                oa::raise(errors::status_change_refused, u"ModifyCR cannot change the crstatus of CR " + cr->id +
                                                             u" (from " + current + u" to " + *status +
                                                             u"); use TransitionCR");
            if (status && !s.on.allows(current, *status))
                oa::raise(errors::transition_refused,
                          u"CR " + cr->id + u" cannot go from " + current + u" to " + *status);
            std::vector<std::u16string> changed;
            for (auto& sl : d->slots()) {
                if (!sl.written) continue;
                std::u16string plain = xml_unescape(sl.value);
                if (sl.name != u"crstatus" && (!cr->find(sl.name) || *cr->find(sl.name) != plain))
                    changed.push_back(sl.name);
                cr->set(sl.name, std::move(plain));
                sl.sent = sl.value;
                sl.written = false;
            }
            std::u16string text = u"CR " + cr->id;
            if (status)
                text += u" moved from " + current + u" to " + *status;
            else if (o == op::TransitionCR)
                text += u" kept its status " + current;
            if (!changed.empty())
                text += (status || o == op::TransitionCR ? u"; modified: " : u" modified: ") + joined(changed);
            else if (!status && o == op::ModifyCR)
                text += u" unchanged";
            put_text(reply, text);
        },
        reply);
}

HRESULT api_object::CreateRelationship(IDispatch* user, LONG bothWays, BSTR fromID, BSTR toID, BSTR relationName,
                                       BSTR relationType, BSTR* answer) {
    return call(
        [&] {
            const opening opened(op::CreateRelationship, server_, [&](journal_line& l) {
                l.object("User", user).number(bothWays).text(fromID).text(toID).text(relationName).text(relationType);
            }, needs::connection);
            session s = logged_in(opened.connected(), user);
            auto known = [&](BSTR id) { return s.on.cr(view(id)) || s.on.object(view(id)); };
            if (!known(fromID) || !known(toID)) return put_text(answer, u"");
            auto relate = [&](BSTR a, BSTR b) {
                for (const auto& r : s.on.relations)
                    if (r.from == view(a) && r.to == view(b) && r.name == view(relationName)) return;
                s.on.relations.push_back({str(a), str(b), str(relationName), str(relationType)});
            };
            relate(fromID, toID);
            std::u16string text = u"Relation " + str(relationName) + u" created from " + str(fromID) + u" to " + str(toID);
            if (bothWays != 0) {
                relate(toID, fromID);
                text += u" and from " + str(toID) + u" to " + str(fromID);
            }
            put_text(answer, text);
        },
        answer);
}

}  // namespace mremu
