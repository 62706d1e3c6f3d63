#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (tests/fuzz/corpus/<target>/).

The dispatch seeds are programs in the entry's own encoding (entries/dispatch_entry.cpp):
one well-formed call of each member, so that fuzzing starts from calls that reach the
component's methods and the library behind them. Run it again after changing the
encoding; libFuzzer adds its own finds only to a scratch folder.
"""
import os
import random
import re
import shutil
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def dictionary():
    text = open(os.path.join(HERE, "entries", "values.cpp"), encoding="utf-8").read()
    body = text[text.index("std::vector<std::u16string> w = {"):]
    body = body[:body.index("};")]
    return [re.sub(r'\\(.)', r'\1', s) for s in re.findall(r'u"((?:[^"\\]|\\.)*)"', body)]


# The words that values.cpp appends after its list, in its order.
WORDS = dictionary() + ["ab\0cd", "\ud800", "x\udc00", "9" * 1000, "&" * 4096]
SESSION = ["put User", "get User", "put api", "get api", "put GoodConnection", "get GoodConnection", "Connect",
           "Login", "CreateAGroup", "DeleteAGroup", "AddUserToGroup", "AddUserToArray", "AddUserToNMXArray",
           "AddUserToRoleArray", "CreateUsers", "SetMerivexUsernames", "AddUserRoles", "AddUserPreference",
           "GetNewAttrs", "GetDynamicAttrs", "VANT_GetHostname", "setDynamicAttrs", "createRCObject", "encodeXML",
           "VANT_SetCRattributeByFile", "VANT_SetCRattribute", "CreateRelation"]
VALUE = ["put ValueType", "get ValueType", "put StringValue", "get StringValue", "put StringValueSize",
         "get StringValueSize", "put IntegerValue", "get IntegerValue", "put BooleanValue", "get BooleanValue",
         "put ErrMsg", "get ErrMsg"]
I2_CHOICES = [0, 1, 2, 3, -1, 500, 501, 800, 900, 32600, 32700, 32767, -32768]
FAULT_OPS = ["new api", "new User", "OpenConnection", "AdminLogin", "appLogin", "CreateGroup",
             "PrepareGroupDeletion", "DeleteGroup", "AssignUserToGroup", "AddUsers", "LoadConfigurationData",
             "SetMerivexUsernames", "AddUsersRoles", "AddAPreferenceForAUser", "QueryObjects", "GetDynamicAttrsData",
             "GetHostname", "SetDynamicAttrsData", "CreateRCObjectFromData", "CRData", "ModifyCR", "TransitionCR",
             "CreateRelationship", "User.LoginToken", "User.SetUserInfo", "User.SetNameMapping", "User.SetRoleInfo",
             "ObjectList.Count", "ObjectList.Item", "ObjectList.Close", "ObjectData.GetAttribute", "Attribute.Value",
             "Attribute.Value="]

BY_REF, TYPED_REF, BY_VALUE = 0, 1, 2


def text(word, box=BY_REF):
    # declared type, dictionary word, then the by-reference mode
    return bytes([1, 0]) + struct.pack("<H", WORDS.index(word)) + bytes([box])


def short(value, box=BY_REF):
    if value in I2_CHOICES:
        return bytes([1]) + struct.pack("<H", 0) + bytes([I2_CHOICES.index(value), box])
    return bytes([1]) + struct.pack("<h", value) + bytes([len(I2_CHOICES), box])


def boolean(value, box=BY_REF):
    return bytes([1, 0 if value else 1, box])


def long(value, box=BY_REF):
    return bytes([1]) + struct.pack("<i", value) + bytes([box])


def variant_text(word, box=BY_REF):
    # not declared-typed: decode_value kind 8 (String) with a dictionary word
    return bytes([0, 8, 0]) + struct.pack("<H", WORDS.index(word)) + bytes([box])


def obj(pool_index, box=BY_VALUE):
    return bytes([1, pool_index, box])


def call(members, name, *args, fault=None):
    head = (1 if members is VALUE else 0) | (2 if fault else 0)
    out = bytes([head])
    if fault:
        out += bytes([FAULT_OPS.index(fault), 0, 0, 0])
    kind, _, _ = name.partition(" ")
    flag_index = {"put": 3, "get": 1}.get(kind, 0)
    out += bytes([members.index(name)]) + struct.pack("<H", 0) + bytes([flag_index])
    out += bytes([1])  # the member's own argument count
    for a in args:
        out += a
    naming = 1  # methods and gets: no named arguments; puts: the DISPID_PROPERTYPUT one
    return out + bytes([0, naming, 0])


def session(name, *args, fault=None):
    return call(SESSION, name, *args, fault=fault)


def value(name, *args):
    return call(VALUE, name, *args)


DISPATCH = {
    "encode_xml": session("encodeXML", text("&<>\"'")),
    "login_again": session("Login", text("jane"), text("s3cret"), text("developer"), text("/db/alpha"),
                           text("tests", TYPED_REF)),
    "connect": session("Connect", text("localhost"), text("tcp", BY_VALUE), short(8400)),
    "staging": session("AddUserToArray", short(0), text("joe"), text("pw"), text("developer"), text("/db/alpha"))
    + session("AddUserToNMXArray", short(0), text("joe"), text("Unknown"))
    + session("AddUserToRoleArray", short(0), text("joe"), text("developer"), text("/db/alpha"))
    + session("CreateUsers", short(1)) + session("SetMerivexUsernames", short(1))
    + session("AddUserRoles", short(1)),
    "growth": session("AddUserToArray", short(900), text("joe"), text("pw"), text("developer"), text("/db/alpha"))
    + session("AddUserToArray", short(900), text("joe"), text("pw"), text("developer"), text("/db/alpha"))
    + session("AddUserToRoleArray", short(-1), text("joe"), text("developer"), text("/db/alpha")),
    "groups": session("CreateAGroup", text("tests")) + session("AddUserToGroup", text("joe"), text("tests"))
    + session("DeleteAGroup", text("tests")),
    "queries": session("GetNewAttrs", text("17"), text("/db/alpha")) + session("GetDynamicAttrs", text("4711"))
    + session("VANT_GetHostname"),
    "dynamic_attrs": session("setDynamicAttrs", text("4711"), text("<attrs a=\"&amp;\"/>"))
    + session("createRCObject", text("17"), text("associated_cv"), text("<attrs a=\"&amp;\"/>"), text("a.txt"))
    + session("setDynamicAttrs", text("4711"), text("")),
    "cr_update": session("VANT_SetCRattribute", text("17"), text("crstatus"), text("assigned"),
                         text("problem_synopsis"), text("&<>\"'"))
    + session("VANT_SetCRattributeByFile", text("18"), text("problem_synopsis"), text("a.txt"), text(""),
              text("b.txt"))
    + session("VANT_SetCRattributeByFile", text("18"), text("crstatus"), text("missing.txt"), text(""), text("")),
    "relation": session("CreateRelation", long(1), text("17"), text("4712"), text("associated_cv"), text("normal"))
    + session("CreateRelation", long(-1), text("18"), text("4713"), text(""), text("")),
    "preference": session("AddUserPreference", variant_text("jane"), variant_text("editor"), text("tests"),
                          boolean(True)),
    "properties": session("put GoodConnection", boolean(False)) + session("get api") + session("get User")
    + session("put User", obj(0)) + session("put api", obj(4)) + session("put api", obj(1))
    + session("get GoodConnection"),
    "value_record": value("put StringValue", text("ab\0cd")) + value("put StringValueSize", short(-1))
    + value("put IntegerValue", short(32767)) + value("put BooleanValue", boolean(True))
    + value("put ErrMsg", text("Unknown")) + value("get ValueType") + value("get StringValue")
    + value("get StringValueSize") + value("get IntegerValue") + value("get BooleanValue") + value("get ErrMsg"),
    "faults": session("CreateAGroup", text("tests"), fault="CreateGroup")
    + session("GetNewAttrs", text("17"), text("/db/alpha"), fault="ObjectList.Item")
    + session("VANT_SetCRattribute", text("17"), text("problem_synopsis"), text("Unknown"), text(""), text(""),
              fault="Attribute.Value=")
    + session("AddUserToArray", short(1), text("joe"), text("pw"), text("developer"), text("/db/alpha"),
              fault="new User")
    + session("Connect", text("localhost"), text("tcp"), short(8400), fault="OpenConnection"),
}

FIXTURE = {
    "empty_servers": b'{"servers": []}',
    "broken_json": b'{"servers": [{"host": ',
    "schema_error": b'{"servers": [{"host": "h", "port": 70000, "protocols": ["tcp"]}]}',
    "faults": b'{"servers": [{"host": "h", "port": 1, "protocols": ["tcp"], '
              b'"faults": [{"op": "CRData", "hresult": -2147220991, "description": "x", "times": 2}]}]}',
}


def main():
    corpus = os.path.join(HERE, "corpus")
    for target in ("dispatch", "variant", "fixture", "host_values"):
        folder = os.path.join(corpus, target)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
    for name, data in DISPATCH.items():
        open(os.path.join(corpus, "dispatch", name), "wb").write(data)
    for name, data in FIXTURE.items():
        open(os.path.join(corpus, "fixture", name), "wb").write(data)
    for fixture in ("standard.json", "crdata.json"):
        shutil.copy(os.path.join(HERE, "..", "fixtures", fixture), os.path.join(corpus, "fixture", fixture))
    # The variant and host value programs start from plain random bytes.
    rng = random.Random(10)
    for target in ("variant", "host_values"):
        for k in range(6):
            data = bytes(rng.randrange(256) for _ in range(rng.choice([16, 64, 256, 1024])))
            open(os.path.join(corpus, target, "random_%d" % k), "wb").write(data)


if __name__ == "__main__":
    main()
