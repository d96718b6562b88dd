<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:k="urn:k" xmlns:exsl="http://exslt.org/common" exclude-result-prefixes="k exsl">
<xsl:output method="text"/>
<!-- The table holds the second declaration's nodes after the first's: out of document order. -->
<xsl:key name="m" match="Point[@method = 'GNSS']" use="'all'"/>
<xsl:key name="m" match="Point[@method = 'TS']" use="'all'"/>
<xsl:template match="/">
  <xsl:value-of select="concat(key('m', 'all')[1]/@id, generate-id(key('m', 'all')) = generate-id(//Point[1]),
                               count(key('m', 'all')))"/>
</xsl:template>
</xsl:stylesheet>
