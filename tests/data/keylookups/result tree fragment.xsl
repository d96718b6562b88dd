<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:k="urn:k" xmlns:exsl="http://exslt.org/common" exclude-result-prefixes="k exsl">
<xsl:output method="text"/>
<xsl:key name="code" match="Point" use="@code"/>
<xsl:template match="/">
  <xsl:variable name="copy"><xsl:copy-of select="//Point"/></xsl:variable>
  <xsl:for-each select="exsl:node-set($copy)/Point">
    <xsl:value-of select="concat(count(key('code', @code)), key('code', @code)[1]/@id,
                                 generate-id(key('code', @code)) = generate-id(.))"/>
  </xsl:for-each>
</xsl:template>
</xsl:stylesheet>
