// The probe on the project's dispatcher: the description that matches probe.idl.
#include "probe.h"

#include <oa/dispatch.h>

namespace conf {

namespace {

class probe final : public probe_members<oa::disp::dispatch_object<probe, IProbe>> {
public:
    static constexpr std::u16string_view class_name = u"Probe";
    static const oa::disp::interface_desc& description() {
        using namespace oa::disp;
        static const interface_desc desc{u"IProbe",
                                         iid_of<IProbe>(),
                                         TYPEFLAG_FDUAL,
                                         {
                                             method<&IProbe::Add>(1, u"Add", u"Long a, Integer b", u"Long"),
                                             method<&IProbe::Join>(2, u"Join", u"String a, String b", u"String"),
                                             sub<&IProbe::Swap>(3, u"Swap", u"Integer &a, String &b"),
                                             method<&IProbe::Describe>(4, u"Describe", u"Variant &v", u"String"),
                                             sub<&IProbe::Fail>(5, u"Fail", u"Long code"),
                                             get<&IProbe::get_Count>(6, u"Count", u"Long"),
                                             put<&IProbe::put_Count>(6, u"Count", u"Long"),
                                             put<&IProbe::put_Peer>(7, u"Peer", u"Object"),
                                             get<&IProbe::get_Peer>(7, u"Peer", u"Object"),
                                             putref<&IProbe::putref_Link>(8, u"Link", u"Object"),
                                             get<&IProbe::get_Link>(8, u"Link", u"Object"),
                                             put<&IProbe::put_Flag>(9, u"Flag", u"Boolean"),
                                             get<&IProbe::get_Flag>(9, u"Flag", u"Boolean"),
                                             get<&IProbe::get_Value>(0, u"Value", u"String"),
                                             sub<&IProbe::Nothing>(10, u"Nothing", u""),
                                             sub<&IProbe::Bump>(11, u"Bump", u"Byte &b, Long &c"),
                                         }};
        return desc;
    }
    static const oa::disp::library_desc* library() { return nullptr; }
};

}  // namespace

IDispatch* new_probe() { return new probe; }

}  // namespace conf
