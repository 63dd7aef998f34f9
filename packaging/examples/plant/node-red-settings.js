// Node-RED's settings for the plant's historian and its page: the editor
// and the page each behind a password, and nothing reachable from the
// network without TLS. Install it as settings.js in Node-RED's user folder
// (~/.node-red/settings.js of the user that runs Node-RED).
//
// Each password is stored as a bcrypt hash; make one with
//   node-red admin hash-pw
// (it asks for the password and prints the hash) and paste it below.
const fs = require("fs");

// The editor's user (every right) and the page's user (the page only).
const editorUser = "admin";
const editorHash = "CHANGE-ME-editor-hash";
const pageUser = "plant";
const pageHash = "CHANGE-ME-page-hash";

// Without TLS Node-RED listens on 127.0.0.1 only: open the page and the
// editor on this host, or through an SSH tunnel. With the server's key and
// certificate (signed by the plant's CA) named here it listens on every
// address, over HTTPS only.
const tlsKey = ""; // e.g. "/etc/node-red/tls/central.key"
const tlsCert = ""; // e.g. "/etc/node-red/tls/central.pem"
const tls = tlsKey && tlsCert ? { key: fs.readFileSync(tlsKey), cert: fs.readFileSync(tlsCert) } : null;

// The page's data travels over a socket.io connection that Node-RED's
// httpNodeAuth does not cover: each connection must carry the page's user
// and password too (the browser sends what it was asked for the page).
const bcrypt = require(require.resolve("bcryptjs", { paths: [require.main.path] }));
function pageCredentials(socket, next) {
    const request = socket.request;
    const [scheme, encoded] = (request.headers.authorization || "").split(" ");
    const [user, ...rest] = Buffer.from(encoded || "", "base64").toString("utf8").split(":");
    const known = scheme === "Basic" && user === pageUser && bcrypt.compareSync(rest.join(":"), pageHash);
    if (!known || socket.handshake.xdomain) {
        return next(new Error("not authorised"));
    }
    next();
}

module.exports = {
    flowFile: "flows.json",
    // Credentials (the broker's password) are encrypted with this key in
    // flows_cred.json: choose a long random text and keep it.
    credentialSecret: "CHANGE-ME-credential-secret",

    uiHost: tls ? "::" : "127.0.0.1",
    uiPort: 1880,
    https: tls || undefined,
    requireHttps: Boolean(tls),

    adminAuth: {
        type: "credentials",
        users: [{ username: editorUser, password: editorHash, permissions: "*" }],
    },
    httpNodeAuth: { user: pageUser, pass: pageHash },
    dashboard: { ioMiddleware: pageCredentials },

    logging: { console: { level: "info", metrics: false, audit: false } },
    editorTheme: { projects: { enabled: false } },
    // The page needs no function node to reach the file system or modules.
    functionExternalModules: false,
};
