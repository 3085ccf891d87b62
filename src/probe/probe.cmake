# tandrel_probe: media probe (facts + description text); builds on the engine core.
