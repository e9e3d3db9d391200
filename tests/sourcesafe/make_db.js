// Carries out a scenario's steps with Microsoft's SourceSafe automation library (ProgID
// "SourceSafe") under Wine's script host: make_db.py writes the steps below this text as calls of
// the functions here, one a line, each with the line of the scenario it comes from (and the waits
// between them). A step that fails ends the run with that line, the library's status and its
// text, and exit status 1.
var ini = WScript.Arguments(0);
var passwords = {Admin: ""};
var databases = {};
var line = 0;

function fail(e) {
  WScript.Echo("line " + line + ": " + ((e.number >>> 0).toString(16)) + " " + e.description);
  WScript.Quit(1);
}
// A database object opened as that user; each user's stays open for the whole run.
function as(user) {
  var key = user.toLowerCase();
  if (!databases[key]) {
    var db = new ActiveXObject("SourceSafe");
    db.Open(ini, user, passwords[user] || "");
    databases[key] = db;
  }
  return databases[key];
}
function item(user, spec, deleted) { return as(user).VSSItem(spec, deleted || false); }
// Waits `seconds` by watching the clock (Wine's script host has no working WScript.Sleep).
function pause(seconds) {
  var until = new Date().getTime() + seconds * 1000;
  while (new Date().getTime() < until) {}
}
// Waits for the next second of that parity to begin (0 even, 1 odd): the library stores whole
// seconds and shows them in steps of two.
function tick(parity) {
  var from = Math.floor(new Date().getTime() / 1000);
  for (;;) {
    var now = Math.floor(new Date().getTime() / 1000);
    if (now != from && now % 2 == parity) return;
  }
}
function step(n, f) {
  line = n;
  try { f(); } catch (e) { fail(e); }
}

// The library's flags (SSAPI's VSSFlags).
var kBinary = 0x200000, kGetNo = 0x8000000;

// A database made from another: its projects destroyed and its users other than Admin deleted.
function emptyDatabase() {
  var root = item("Admin", "$/");
  var children = [];
  for (var e = new Enumerator(root.Items(true)); !e.atEnd(); e.moveNext()) children.push(e.item());
  for (var i = 0; i < children.length; i++) children[i].Destroy();
  var users = [];
  for (var u = new Enumerator(as("Admin").Users); !u.atEnd(); u.moveNext()) users.push(u.item());
  for (var j = 0; j < users.length; j++) if (users[j].Name.toLowerCase() != "admin") users[j].Delete();
}
function user(name, password) {
  var db = as("Admin");
  var existing = null;
  for (var u = new Enumerator(db.Users); !u.atEnd(); u.moveNext())
    if (u.item().Name.toLowerCase() == name.toLowerCase()) existing = u.item();
  if (existing) existing.Password = password; else db.AddUser(name, password, false);
  passwords[name] = password;
}
function project(by, parent, name, comment) { item(by, parent).NewSubproject(name, comment); }
function add(by, project, local, comment, binary) {
  item(by, project).Add(local, comment, binary ? kBinary : 0);
}
// A check-in of the content that make_db.py wrote at `local`: checked out without a copy, so
// that the content there is what goes in.
function version(by, spec, local, comment) {
  var file = item(by, spec);
  file.Checkout("", local, kGetNo);
  file.Checkin(comment, local, 0);
}
function checkout(by, spec, local) { item(by, spec).Checkout("", local, kGetNo); }
function label(by, spec, text, comment) { item(by, spec).Label(text, comment); }
function share(by, spec, into, comment) { item(by, into).Share(item(by, spec), comment, kGetNo); }
// A share of one version of the file: the new place is pinned to it.
function pin(by, spec, into, number, comment) {
  item(by, into).Share(item(by, spec).Version(number), comment, kGetNo);
}
function branch(by, spec, comment) { item(by, spec).Branch(comment, 0); }
function rename(by, spec, name) { item(by, spec).Name = name; }
function move(by, spec, into) { item(by, spec).Move(item(by, into)); }
function remove(by, spec) { item(by, spec).Deleted = true; }
// A deleted entry, found through its project's entries. Measured: clearing Deleted on the item
// that VSSItem(spec, true) gives recovers the file and then fails with "File or project not
// found"; on the entry of Items(true) it recovers and succeeds.
function deletedEntry(by, spec) {
  var at = spec.lastIndexOf("/");
  var parent = item(by, at > 1 ? spec.substring(0, at) : "$/");
  var name = spec.substring(at + 1).toLowerCase();
  for (var e = new Enumerator(parent.Items(true)); !e.atEnd(); e.moveNext())
    if (e.item().Deleted && e.item().Name.toLowerCase() == name) return e.item();
  throw {number: 0x8004D68F, description: "no deleted entry " + spec};
}
function recover(by, spec) { deletedEntry(by, spec).Deleted = false; }
function destroy(by, spec) {
  try { item(by, spec).Destroy(); } catch (e) { deletedEntry(by, spec).Destroy(); }
}

// The steps.
