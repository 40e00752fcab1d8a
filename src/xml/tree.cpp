// Placeholder until this component is written.
