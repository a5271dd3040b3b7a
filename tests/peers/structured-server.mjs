// A stateful MCP server on 127.0.0.1 and the port given as the only argument, answering with plain
// JSON bodies instead of event streams. Its tool "get-weather" returns structuredContent next to a
// text block that says something else, so a client that prefers the structured value is visible.
import http from "node:http";
import { randomUUID } from "node:crypto";
import { Server } from "@modelcontextprotocol/sdk/server/index.js";
import { StreamableHTTPServerTransport } from "@modelcontextprotocol/sdk/server/streamableHttp.js";
import {
  CallToolRequestSchema,
  ListToolsRequestSchema,
  isInitializeRequest,
} from "@modelcontextprotocol/sdk/types.js";

const port = Number(process.argv[2]);
if (!Number.isInteger(port) || port <= 0) {
  console.error("usage: node structured-server.mjs PORT");
  process.exit(2);
}

function createServer() {
  const server = new Server({ name: "structured-peer", version: "1.0.0" }, { capabilities: { tools: {} } });
  server.setRequestHandler(ListToolsRequestSchema, async () => ({
    tools: [
      {
        name: "get-weather",
        description: "Reports the weather of a city as structured data",
        inputSchema: { type: "object", properties: { city: { type: "string" } }, required: ["city"] },
        outputSchema: {
          type: "object",
          properties: { city: { type: "string" }, temperature: { type: "number" }, sunny: { type: "boolean" } },
          required: ["city", "temperature", "sunny"],
        },
      },
    ],
  }));
  server.setRequestHandler(CallToolRequestSchema, async (request) => {
    const city = String(request.params.arguments?.city ?? "");
    return {
      content: [{ type: "text", text: `The weather in ${city} is fine.` }],
      structuredContent: { city, temperature: 21.5, sunny: true },
    };
  });
  return server;
}

async function readJson(req) {
  const chunks = [];
  for await (const chunk of req) chunks.push(chunk);
  return JSON.parse(Buffer.concat(chunks).toString("utf8"));
}

const transports = new Map();

http
  .createServer(async (req, res) => {
    try {
      if (req.method !== "POST") {
        res.writeHead(405, { Allow: "POST" }).end();
        return;
      }
      const body = await readJson(req);
      const sessionId = req.headers["mcp-session-id"];
      let transport = sessionId ? transports.get(sessionId) : undefined;
      if (!transport && !sessionId && isInitializeRequest(body)) {
        transport = new StreamableHTTPServerTransport({
          sessionIdGenerator: () => randomUUID(),
          enableJsonResponse: true,
          onsessioninitialized: (id) => transports.set(id, transport),
        });
        await createServer().connect(transport);
      }
      if (!transport) {
        res.writeHead(sessionId ? 404 : 400, { "Content-Type": "application/json" });
        res.end(JSON.stringify({ jsonrpc: "2.0", error: { code: -32000, message: "Unknown or missing session" }, id: null }));
        return;
      }
      await transport.handleRequest(req, res, body);
    } catch (error) {
      console.error("request failed:", error);
      if (!res.headersSent) res.writeHead(400).end();
    }
  })
  .listen(port, "127.0.0.1");
