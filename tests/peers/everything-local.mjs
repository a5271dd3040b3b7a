// Runs the reference MCP server "everything" (streamable HTTP, endpoint /mcp) on 127.0.0.1 and the
// port given as the only argument. The server takes its port from $PORT and listens on every
// interface; rather than change its code, listen() is narrowed to the loopback address before the
// server module loads, so a test run never exposes it to the network.
import net from "node:net";

const port = process.argv[2];
if (!/^\d+$/.test(port ?? "")) {
  console.error("usage: node everything-local.mjs PORT");
  process.exit(2);
}
process.env.PORT = port;

const listen = net.Server.prototype.listen;
net.Server.prototype.listen = function (...args) {
  const [first, second] = args;
  const isPort = typeof first === "number" || (typeof first === "string" && /^\d+$/.test(first));
  if (isPort && typeof second !== "string") args.splice(1, 0, "127.0.0.1");
  return listen.apply(this, args);
};

await import("@modelcontextprotocol/server-everything/dist/transports/streamableHttp.js");
