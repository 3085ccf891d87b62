# tandrel_engine: option vocabulary, task core, component; builds on the engine core and probe.
